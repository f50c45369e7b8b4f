#include "app/messages.h"

#include "view/exception_hook.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace mirel {

namespace {

TMessageHook& Hook()
{
    static TMessageHook hook;
    return hook;
}

// The lines a box holds at most: what fits in about two thirds of the
// screen, each line wrapped onto two rows.
int LinesThatFit(const QFontMetrics& metrics, const QRect& screen)
{
    const int spacing = std::max(1, metrics.lineSpacing());
    return std::clamp(screen.height() / 3 / spacing, 3, 30);
}

// One open box per kind. While it is open, later messages of that kind are
// added to it rather than opening a box over it; it lists what fits on the
// screen and counts the rest.
// A line short enough to wrap onto a few rows of a box at most.
QString Shortened(const QString& line)
{
    constexpr qsizetype Max = 240;
    if (line.size() <= Max)
        return line;
    return line.left(Max / 2 - 2) + QStringLiteral(" ... ") + line.right(Max / 2 - 3);
}

std::vector<std::function<void()>>& WaitingForAnswers()
{
    static std::vector<std::function<void()>> waiting;
    return waiting;
}

int& OpenBoxes()
{
    static int open = 0;
    return open;
}

void RunWhenAnswered()
{
    if (OpenBoxes() > 0)
        return;
    for (std::function<void()>& done : std::exchange(WaitingForAnswers(), {}))
        QMetaObject::invokeMethod(qApp, std::move(done), Qt::QueuedConnection);
}

QPointer<QWidget>& Owner()
{
    static QPointer<QWidget> owner;
    return owner;
}

void Present(QMessageBox* box)
{
    box->show();
    box->raise();
    box->activateWindow();
}

class TBoxPile {
public:
    void Add(TMessageKind kind, const QString& text)
    {
        lines_ << text.split(QLatin1Char('\n'));
        if (!box_) {
            // Over the full-screen window when there is one, else above
            // whatever comes (a start-up failure is reported before the
            // window shows).
            QWidget* parent = Owner() ? Owner().data() : QApplication::activeWindow();
            if (parent && parent->inherits("QMessageBox"))
                parent = parent->parentWidget();
            box_ = kind == TMessageKind::Warning
                       ? new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning"), QString(), QMessageBox::Ok, parent)
                       : new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(), QString(),
                                         QMessageBox::Ok, parent);
            box_->setAttribute(Qt::WA_DeleteOnClose);
            // An open box does not keep the program running once the show closes.
            box_->setAttribute(Qt::WA_QuitOnClose, false);
            // The show hides the pointer over its own window only.
            box_->setCursor(Qt::ArrowCursor);
            if (!parent)
                box_->setWindowFlag(Qt::WindowStaysOnTopHint);
            box_->setModal(false);
            // Answered: the next message opens a new box.
            ++OpenBoxes();
            QObject::connect(box_, &QObject::destroyed, [] {
                --OpenBoxes();
                RunWhenAnswered();
            });
            QObject::connect(box_, &QDialog::finished, [this] {
                box_ = nullptr;
                updatePending_ = false;
                lines_.clear();
            });
            Update();
            if (parent && !parent->isVisible()) {
                // Start-up reports before the window shows: the box comes
                // once the window is up, so that it is not mapped beneath it.
                QTimer::singleShot(0, box_, [box = box_] { Present(box); });
            } else {
                Present(box_);
            }
            return;
        }
        // Failures come in runs (a folder of broken files): the box is laid
        // out again once the run is over, not once per failure.
        if (!updatePending_) {
            updatePending_ = true;
            QTimer::singleShot(0, box_, [this] {
                updatePending_ = false;
                if (!box_)
                    return;
                Update();
                box_->adjustSize();
            });
        }
    }

private:
    void Update()
    {
        const QScreen* screen = box_->screen() ? box_->screen() : QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        const QFontMetrics metrics(box_->font());
        const int fit = LinesThatFit(metrics, area);
        QStringList shown;
        const qsizetype count = lines_.size();
        const qsizetype listed = count <= fit ? count : fit - 1;
        for (qsizetype i = 0; i < listed; ++i)
            shown << Shortened(lines_[i]);
        if (listed < count)
            shown << QStringLiteral("... and %1 more").arg(count - listed);
        box_->setText(shown.join(QLatin1Char('\n')));
    }

    QPointer<QMessageBox> box_;
    QStringList lines_;
    bool updatePending_ = false;
};

void ShowQtBox(TMessageKind kind, const QString& text)
{
    static TBoxPile warnings, errors;
    (kind == TMessageKind::Warning ? warnings : errors).Add(kind, text);
}

} // namespace

TMessageHook SetMessageHook(TMessageHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

void AfterBoxesAnswered(std::function<void()> done)
{
    WaitingForAnswers().push_back(std::move(done));
    RunWhenAnswered();
}

void SetBoxOwner(QWidget* owner)
{
    Owner() = owner;
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
