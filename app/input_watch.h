// The exit watch: which user input closes the show.
//
// Input is described as window messages, a number with a packed position,
// as the show was first written against; the rules below are a table over
// those numbers. TInputWatch, an event filter on the whole application,
// turns each input event that the window system delivers into such a message
// and hands it to a handler before Qt dispatches the event as usual.
//
// Each native event is seen once: at the top-level window that receives it,
// not again at every widget it propagates through. A mouse position is
// given in the coordinates of the widget under the pointer (the full-screen
// main window, or the picture control when the pointer is over it), as the
// message would be addressed to that widget.
#pragma once

#include <QObject>
#include <QSet>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QEvent;

namespace mirel {

// Message numbers.
enum : uint32_t {
    WM_KEYDOWN = 256,
    WM_KEYUP = 257,
    WM_SYSKEYDOWN = 260, // with Alt held
    WM_SYSKEYUP = 261,
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONUP = 514,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_RBUTTONUP = 517,
    WM_RBUTTONDBLCLK = 518,
    WM_MBUTTONDOWN = 519,
    WM_MBUTTONUP = 520,
    WM_MBUTTONDBLCLK = 521,
    WM_MOUSEWHEEL = 522,
    WM_XBUTTONDOWN = 523,
    WM_XBUTTONUP = 524,
    WM_XBUTTONDBLCLK = 525,
    WM_MOUSEHWHEEL = 526,
};

struct TMessage {
    uint32_t Message = 0;
    // Key messages: the key (a Qt::Key).
    uint32_t WParam = 0;
    // Mouse messages: x in the low 16 bits, y in the high 16 bits, each the
    // low 16 bits of the coordinate (so -1 reads as 65535).
    uint32_t LParam = 0;
};

constexpr uint32_t MakeLParam(int32_t x, int32_t y)
{
    return uint32_t(uint16_t(x)) | (uint32_t(uint16_t(y)) << 16);
}

// A mouse move closes only beyond this distance from the origin, on either axis.
constexpr uint32_t MouseMoveReach = 500;

enum class TCloseWhen { Always, BeyondReach };

struct TCloseRule {
    uint32_t Message;
    TCloseWhen When;
};

// The messages that close the show; any other message leaves it alone
// (button releases, double clicks and wheel turns among them).
constexpr std::array<TCloseRule, 8> CloseRules{{
    {WM_KEYDOWN, TCloseWhen::Always},
    {WM_KEYUP, TCloseWhen::Always},
    {WM_SYSKEYDOWN, TCloseWhen::Always},
    {WM_SYSKEYUP, TCloseWhen::Always},
    {WM_LBUTTONDOWN, TCloseWhen::Always},
    {WM_RBUTTONDOWN, TCloseWhen::Always},
    {WM_MBUTTONDOWN, TCloseWhen::Always},
    {WM_MOUSEMOVE, TCloseWhen::BeyondReach},
}};

bool ClosesShow(const TMessage& Msg);

// The message for an input event addressed to receiver, or nothing when the
// event is no window-system input at a top-level window of this application.
std::optional<TMessage> MessageOf(QObject* receiver, QEvent* event);

// Input that a message box receives is the box's: input aimed at a box's
// window (keys while it has the focus, clicks and moves over it), and any
// input while a modal box is open. The release of a key whose press
// answered a box is the box's too: it arrives after the box has gone and
// must not count as a new key.
class TInputWatch : public QObject {
public:
    using THandler = std::function<void(const TMessage& Msg, bool& Handled)>;

    explicit TInputWatch(THandler handler, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THandler handler_;
    QSet<uint32_t> keysOfBox_;
};

} // namespace mirel
