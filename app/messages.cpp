#include "app/messages.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace mirel {

namespace {

TMessageHook& Hook()
{
    static TMessageHook hook;
    return hook;
}

void ShowQtBox(TMessageKind kind, const QString& text)
{
    // The show hides the pointer for the whole application; the box needs it.
    QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    // Over the full-screen window, when there is one.
    QWidget* parent = QApplication::activeWindow();
    if (kind == TMessageKind::Warning)
        QMessageBox::warning(parent, QStringLiteral("Warning"), text, QMessageBox::Ok);
    else
        QMessageBox::critical(parent, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    QApplication::restoreOverrideCursor();
}

} // namespace

TMessageHook SetMessageHook(TMessageHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

void ShowMessageBox(TMessageKind Kind, const QString& Text)
{
    // Errors also go to standard error, one line each, for whoever runs the
    // show without looking at the screen.
    if (Kind == TMessageKind::Error) {
        const QByteArray name = QCoreApplication::applicationName().toLocal8Bit();
        for (const QString& line : Text.split(QLatin1Char('\n')))
            std::fprintf(stderr, "%s: %s\n", name.constData(), line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    if (Hook())
        Hook()(Kind, Text);
    else
        ShowQtBox(Kind, Text);
}

QString ErrorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ShowErrorBox(const std::exception_ptr& error) noexcept
{
    try {
        ShowMessageBox(TMessageKind::Error, ErrorText(error));
    } catch (...) {
        // The box itself failed (out of memory, say): standard error is all
        // that is left.
        std::fputs("mirel-show: an error occurred and could not be shown\n", stderr);
    }
}

} // namespace mirel
