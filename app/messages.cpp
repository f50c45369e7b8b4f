#include "app/messages.h"

#include "view/exception_hook.h"

#include <QApplication>
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
    // Over the full-screen window when there is one, else above whatever
    // comes (a start-up failure is reported before the window shows).
    QWidget* parent = QApplication::activeWindow();
    auto* box = kind == TMessageKind::Warning
                    ? new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent)
                    : new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                                      QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An open box does not keep the program running once the show closes.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    if (!parent)
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setModal(false);
    box->show();
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

void ShowErrorBox(const std::exception_ptr& error) noexcept
{
    try {
        ShowMessageBox(TMessageKind::Error, ExceptionMessage(error));
    } catch (...) {
        // The box itself failed (out of memory, say): standard error is all
        // that is left.
        std::fputs("mirel-show: an error occurred and could not be shown\n", stderr);
    }
}

} // namespace mirel
