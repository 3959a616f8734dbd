#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace lunorvale {

// The one way a view follows what it reads: it names the signals that announce a change of it (a
// model's properties, its window's state), and all the changes of one pass of the event loop end in one
// call of its refresh, queued to the end of that pass. A sample publishes several values and a keystroke
// may change several, so the view lays itself out once for all of them.
//
// A view that waits while hidden is not refreshed then (a closed window samples on in the tray for
// hours); it is refreshed each time it shows, before it is painted.
class RefreshCoalescer final : public QObject {
    Q_OBJECT
public:
    enum class WhileHidden { refresh, wait };

    // Belongs to `view`; `refresh` is the view's own.
    RefreshCoalescer(QWidget* view, std::function<void()> refresh,
                     WhileHidden whileHidden = WhileHidden::refresh);

    // Asks for a refresh whenever `sender` emits one of `changes` (their arguments are not read).
    template <typename Sender, typename... Changes> void watch(const Sender* sender, Changes... changes) {
        (connect(sender, changes, this, &RefreshCoalescer::schedule), ...);
    }

    // Asks for the refresh at the end of this pass of the event loop; more asks before it add nothing.
    void schedule();
    bool isPending() const { return m_pending; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run();

    QWidget* m_view;
    std::function<void()> m_refresh;
    WhileHidden m_whileHidden;
    bool m_pending = false;
};

} // namespace lunorvale
