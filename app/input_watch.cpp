#include "app/input_watch.h"

#include "app/messages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace mirel {

namespace {

// The widget that shows window, if it belongs to this application.
QWidget* WidgetOf(const QWindow* window)
{
    const QWidgetList tops = QApplication::topLevelWidgets();
    const auto it = std::find_if(tops.begin(), tops.end(), [&](QWidget* w) { return w->windowHandle() == window; });
    return it == tops.end() ? nullptr : *it;
}

// pos (window coordinates) in the coordinates of the widget under it, in
// device pixels: the distances that close the show are the screen's.
uint32_t PositionAt(const QWindow* window, QPointF pos)
{
    QPointF at = pos;
    if (QWidget* top = WidgetOf(window)) {
        if (QWidget* child = top->childAt(pos.toPoint()))
            at = child->mapFrom(top, pos);
    }
    at *= window->devicePixelRatio();
    return MakeLParam(int32_t(std::floor(at.x())), int32_t(std::floor(at.y())));
}

// True for the window of a box (a dialog) that the show opened over itself:
// input there answers the box.
bool IsBoxWindow(const QObject* receiver)
{
    const QWidget* widget = WidgetOf(static_cast<const QWindow*>(receiver));
    return widget && (widget->inherits("QDialog") || widget->windowType() == Qt::Dialog);
}

std::optional<uint32_t> ButtonMessage(Qt::MouseButton button, QEvent::Type type)
{
    int row;
    switch (button) {
    case Qt::LeftButton: row = 0; break;
    case Qt::RightButton: row = 1; break;
    case Qt::MiddleButton: row = 2; break;
    case Qt::BackButton:
    case Qt::ForwardButton: row = 3; break;
    default: return std::nullopt;
    }
    constexpr uint32_t Down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_XBUTTONDOWN};
    constexpr uint32_t Up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP, WM_XBUTTONUP};
    constexpr uint32_t Double[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK, WM_XBUTTONDBLCLK};
    switch (type) {
    case QEvent::MouseButtonPress: return Down[row];
    case QEvent::MouseButtonRelease: return Up[row];
    default: return Double[row];
    }
}

} // namespace

bool ClosesShow(const TMessage& Msg)
{
    const auto rule = std::find_if(CloseRules.begin(), CloseRules.end(),
                                   [&](const TCloseRule& r) { return r.Message == Msg.Message; });
    if (rule == CloseRules.end())
        return false;
    if (rule->When == TCloseWhen::Always)
        return true;
    const uint32_t x = Msg.LParam & 0xFFFFu, y = Msg.LParam >> 16;
    return x > MouseMoveReach || y > MouseMoveReach;
}

std::optional<TMessage> MessageOf(QObject* receiver, QEvent* event)
{
    // Events that Qt makes up or forwards itself are no input of the user's.
    if (!receiver->isWindowType() || !event->spontaneous())
        return std::nullopt;
    const auto* window = static_cast<const QWindow*>(receiver);
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool alt = key->modifiers().testFlag(Qt::AltModifier);
        const auto code = uint32_t(key->key());
        if (event->type() == QEvent::KeyPress)
            return TMessage{alt ? WM_SYSKEYDOWN : WM_KEYDOWN, code, 0};
        return TMessage{alt ? WM_SYSKEYUP : WM_KEYUP, code, 0};
    }
    case QEvent::MouseMove:
        return TMessage{WM_MOUSEMOVE, 0, PositionAt(window, static_cast<QMouseEvent*>(event)->position())};
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const auto message = ButtonMessage(mouse->button(), event->type()))
            return TMessage{*message, 0, PositionAt(window, mouse->position())};
        return std::nullopt;
    }
    case QEvent::Wheel: {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const bool sideways = wheel->angleDelta().y() == 0 && wheel->angleDelta().x() != 0;
        return TMessage{sideways ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL, 0, PositionAt(window, wheel->position())};
    }
    default:
        return std::nullopt;
    }
}

TInputWatch::TInputWatch(THandler handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

bool TInputWatch::eventFilter(QObject* watched, QEvent* event)
{
    bool handled = false;
    if (!handler_)
        return false;
    Guarded([&] {
        const auto message = MessageOf(watched, event);
        if (!message)
            return;
        const bool keyDown = message->Message == WM_KEYDOWN || message->Message == WM_SYSKEYDOWN;
        const bool keyUp = message->Message == WM_KEYUP || message->Message == WM_SYSKEYUP;
        if (QApplication::activeModalWidget() || IsBoxWindow(watched)) {
            if (keyDown)
                keysOfBox_.insert(message->WParam);
            return;
        }
        if (keyUp && keysOfBox_.remove(message->WParam))
            return;
        handler_(*message, handled);
    });
    return handled;
}

} // namespace mirel
