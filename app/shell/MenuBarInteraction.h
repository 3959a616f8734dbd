#pragma once

#include "platform/desktop/PointerPresses.h"
#include "ui/kit/LVAlert.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

#include <QWidget>

namespace lunorvale {

// One event as the popover's dismissal judges it.
struct PopoverEvent {
    enum class Kind { keyDown, mouseDown, other };
    Kind kind = Kind::other;
    int key = 0;            // Qt::Key of a key press
    bool inPopover = false; // a key sent to the popover's window, or a click inside its rectangle
    QPoint globalPosition;  // where a click happened
};

// Closes the tray popover the way a menu closes: on a click anywhere outside it, in this program or
// another one, a panel or the bare desktop (the click goes on to where it was meant), on Escape inside
// it (the key press is consumed), and when the program stops being the active one. Clicks outside this
// program are heard through `presses` where the display lets it (X11); elsewhere a click into another
// program takes the activation from the popover window, which then closes itself. Every trigger of one
// watch goes through one action guarded by the watch's token, so the popover is closed at most once per
// watch and a late trigger of an older watch does nothing.
class MenuPopoverDismissal final : public QObject {
    Q_OBJECT

public:
    // `presses` (may be absent) stays the caller's and outlives this object.
    explicit MenuPopoverDismissal(PointerPresses* presses = nullptr, QObject* parent = nullptr);
    ~MenuPopoverDismissal() override;

    // Ends any current watch, then watches for the popover in `window`. `statusButton` is the tray
    // icon's screen rectangle where the tray host tells it: a click there is left to the icon's own
    // toggle. `close` closes the popover.
    void start(QWidget* window, std::optional<QRect> statusButton, std::function<void()> close);
    void stop();
    bool isWatching() const { return !m_generation.isNull(); }

    static bool shouldDismiss(const PopoverEvent& event, const std::optional<QRect>& statusButton);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void dismiss(const QUuid& generation);
    // A press anywhere on the screen: judged by where the pointer is, unless it is one the program
    // received itself and has judged where it landed.
    void pointerPressed(const QUuid& generation, quint64 time);

    PointerPresses* m_presses;
    QUuid m_generation;
    QPointer<QWidget> m_window;
    std::optional<QRect> m_statusButton;
    std::function<void()> m_close;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_pressConnection;
    // The times of the last presses into this program's own windows during the watch.
    QList<quint64> m_ownPresses;
};

// Stands between every quit request and the end of the program: while an application is being
// removed it only asks the user to wait; otherwise it asks to confirm, mentioning an update that is
// ready to be installed on quit.
class UserQuitConfirmation final {
public:
    // Shows the alert and returns the index of the button chosen in its `buttons()`; -1 when none was.
    using Present = AlertPresenter;
    using Terminate = std::function<void()>;

    // Without arguments: the alert runs modally and the application quits.
    explicit UserQuitConfirmation(Present present = {}, Terminate terminate = {});

    bool isPresenting() const { return m_presenting; }

    // Ignored while the alert is up. Terminates only when no removal runs and the second button
    // ("退出岚栖") was chosen, and then answers true.
    bool request(bool removingApplication, bool updateReady);
    // The user chose to install a downloaded update now: the program ends without asking again, unless
    // a removal runs (then the alert says to wait, and it stays). True when it is about to end.
    bool endForUpdate(bool removingApplication);

    static std::unique_ptr<LVAlert> makeAlert(bool removingApplication, bool updateReady);

private:
    Present m_present;
    Terminate m_terminate;
    bool m_presenting = false;
};

} // namespace lunorvale
