#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <chrono>
#include <optional>

#include <QWidget>

namespace lunorvale {

// Sizes and placement of the tray popover.
namespace PopoverGeometry {

constexpr int width = 344;

// At each opening: 405 without findings, 505 with; 40 more with memory observations or application
// findings, and 40 more with an update on offer.
int height(bool hasFindings, bool hasOtherReminders, bool updateAvailable);
// A rendered menu page: 405 or 505 by findings; 40 more when the page name asks for an update and
// 40 more with memory observations (application findings play no part here).
int previewHeight(bool hasFindings, bool pageShowsUpdate, bool hasMemoryObservations);
// The height of a popover: the table's height, or the content's own when that is taller (the
// controls at its foot must show), but never taller than the screen's room (the content's middle
// scrolls then).
int openingHeight(int tableHeight, int contentHeight, int availableHeight);

// Where a popover of `size` opens for an anchor (the tray icon, or the pointer as a 1 × 1 rectangle):
// under the anchor, centred on it, or over it where there is no room below; always inside `available`
// (as far as it fits at all).
QPoint origin(const QRect& anchor, const QSize& size, const QRect& available);

// Whether a tray click arrives so soon after the popover closed on a click outside it that it is
// that same click, reported again by the tray host: it must not reopen the popover.
bool isEchoOfDismissal(std::optional<std::chrono::steady_clock::time_point> dismissedAt,
                       std::chrono::steady_clock::time_point now);

} // namespace PopoverGeometry

// The popover's window: a frameless tool window above the others, closed when it loses activation.
// Not a Qt::Popup: a popup grabs the pointer, and the click outside it that closes it is consumed, so a
// click into the main window would only close the popover instead of reaching the window (and on
// Wayland a popup needs a parent surface the tray icon never is). Each opening gets a new content
// widget, deleted after the event that closed the popover: nothing of a closed one keeps observing
// the model. While open, the window follows its content's size hint (a finding arriving makes it
// taller), within the screen's room and its anchor kept.
class PopoverHost final : public QObject {
    Q_OBJECT

public:
    explicit PopoverHost(QObject* parent = nullptr);
    ~PopoverHost() override;

    bool isShown() const;
    // The window; exists for the life of the host, shown or not.
    QWidget* window() const;
    QWidget* content() const { return m_content; }

    // Shows `content` (taking it) in a window placed at `anchor` on the anchor's screen: `least` wide,
    // and as tall as `least` or as the content asks, whichever is taller, never taller than the
    // screen's room. An open popover is closed first.
    void show(QWidget* content, const QSize& least, const QRect& anchor);
    // While open: the height it is never made shorter than.
    void setLeastHeight(int height);
    // Closes an open popover; nothing otherwise.
    void close();
    // The same, for a click outside it (or a key that dismisses it): a tray click that follows at
    // once is that click again.
    void closeFromOutside();

    // When the popover last closed from outside: it lost activation, or `closeFromOutside`.
    std::optional<std::chrono::steady_clock::time_point> lastOutsideDismissal() const {
        return m_lastOutsideDismissal;
    }

signals:
    // The popover closed, for whatever reason; its content is hidden by then and deleted soon after.
    void closed();

private:
    class Window;
    friend class Window;
    void windowHidden(bool outside);
    // Sizes and places the open window for its content.
    void fit();

    Window* m_window;
    QPointer<QWidget> m_content;
    QSize m_least;
    QRect m_anchor;
    std::optional<std::chrono::steady_clock::time_point> m_lastOutsideDismissal;
};

} // namespace lunorvale
