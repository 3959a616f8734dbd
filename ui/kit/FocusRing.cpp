#include "ui/kit/FocusRing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace lunorvale::FocusRing {

namespace {

const char* const followerName = "lunorvale-focus-ring";

bool isModifier(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return true;
    default:
        return false;
    }
}

// Keeps no state of its own: what it learns goes onto the window the input went to.
class InputFollower final : public QObject {
public:
    explicit InputFollower(QObject* parent) : QObject(parent) { setObjectName(QLatin1String(followerName)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
            // A modifier alone is often half of a click (Ctrl+click); the key it goes with decides.
            if (!isModifier(static_cast<QKeyEvent*>(event)->key()))
                mark(watched, true);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            mark(watched, false);
            break;
        default:
            break;
        }
        return false;
    }

private:
    static void mark(QObject* watched, bool keyboard) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return;
        QWidget* window = widget->window();
        if (window->testAttribute(Qt::WA_KeyboardFocusChange) == keyboard)
            return;
        window->setAttribute(Qt::WA_KeyboardFocusChange, keyboard);
        if (QWidget* focused = window->focusWidget())
            focused->update();
    }
};

} // namespace

void follow() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application ||
        application->findChild<QObject*>(QLatin1String(followerName), Qt::FindDirectChildrenOnly))
        return;
    application->installEventFilter(new InputFollower(application));
}

bool shown(const QWidget& widget) {
    return widget.hasFocus() && widget.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

} // namespace lunorvale::FocusRing
