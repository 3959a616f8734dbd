#include "ui/kit/FocusRing.h"

#include "ui/kit/Palette.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>

namespace lunorvale::FocusRing {

namespace {

const char* const followerName = "lunorvale-focus-ring";

// Sent to the focused control when its window turns to or from keyboard use.
QEvent::Type inputChanged() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

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
        case QEvent::FocusIn:
            if (fromKeyboard(static_cast<QFocusEvent*>(event)->reason()))
                reveal(qobject_cast<QWidget*>(watched));
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
    static bool fromKeyboard(Qt::FocusReason reason) {
        return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
               reason == Qt::ShortcutFocusReason;
    }

    // A scrolled view brings a control Tab reaches into view only when the Tab came from inside it;
    // from the window's bars, the control would take the focus out of sight.
    static void reveal(QWidget* focused) {
        if (!focused)
            return;
        for (QWidget* up = focused->parentWidget(); up && !up->isWindow(); up = up->parentWidget()) {
            auto* scroll = qobject_cast<QScrollArea*>(up);
            if (scroll && scroll->widget() && scroll->widget()->isAncestorOf(focused))
                scroll->ensureWidgetVisible(focused);
        }
    }

    static void mark(QObject* watched, bool keyboard) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return;
        QWidget* window = widget->window();
        if (window->testAttribute(Qt::WA_KeyboardFocusChange) == keyboard)
            return;
        window->setAttribute(Qt::WA_KeyboardFocusChange, keyboard);
        // Not only the focused control: a box around a text field or a list's row draws its ring too.
        window->update();
        if (QWidget* focused = window->focusWidget()) {
            QEvent changed(inputChanged());
            QCoreApplication::sendEvent(focused, &changed);
        }
    }
};

// The ring itself: drawn above everything else in its host, it takes no input.
class Halo final : public QWidget {
public:
    explicit Halo(qreal radius) : m_radius(radius) {
        setObjectName(QLatin1String(surroundingRingName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        FocusRing::paint(painter, rect(), m_radius, *this);
    }

private:
    qreal m_radius;
};

// Keeps the halo of one control: where the control is, while its ring is shown.
class Surrounder final : public QObject {
public:
    Surrounder(QWidget& control, int margin, qreal radius)
        : QObject(&control), m_control(control), m_margin(margin), m_radius(radius) {
        control.installEventFilter(this);
    }
    ~Surrounder() override { delete m_halo; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == &m_control) {
            if (type == QEvent::FocusIn || type == QEvent::FocusOut || type == QEvent::Show ||
                type == QEvent::Hide || type == QEvent::Move || type == QEvent::Resize ||
                type == QEvent::ParentChange || type == inputChanged())
                place();
        } else if (type == QEvent::Move || type == QEvent::Resize) {
            place(); // a container moved it, as a scrolled view does
        }
        return false;
    }

private:
    // The nearest scrolled view's viewport (so that the ring scrolls and clips with the control), else
    // the window.
    QWidget* host() const {
        QWidget* below = &m_control;
        for (QWidget* up = m_control.parentWidget(); up; below = up, up = up->parentWidget()) {
            if (up->isWindow())
                return up;
            if (const auto* scroll = qobject_cast<QAbstractScrollArea*>(up);
                scroll && below == scroll->viewport())
                return below;
        }
        return below;
    }

    void follow(QWidget* host) {
        for (const QPointer<QWidget>& container : std::as_const(m_containers))
            if (container)
                container->removeEventFilter(this);
        m_containers.clear();
        for (QWidget* up = m_control.parentWidget(); up && up != host; up = up->parentWidget()) {
            up->installEventFilter(this);
            m_containers.append(up);
        }
    }

    void place() {
        if (!shown(m_control) || !m_control.isVisible() || m_control.isWindow()) {
            if (m_halo)
                m_halo->hide();
            return;
        }
        QWidget* const at = host();
        if (!m_halo)
            m_halo = new Halo(m_radius);
        if (m_halo->parentWidget() != at) {
            m_halo->setParent(at);
            follow(at);
        }
        m_halo->setGeometry(QRect(m_control.mapTo(at, QPoint(0, 0)), m_control.size())
                                .adjusted(-m_margin, -m_margin, m_margin, m_margin));
        m_halo->raise();
        m_halo->show();
    }

    QWidget& m_control;
    int m_margin;
    qreal m_radius;
    QPointer<Halo> m_halo;
    QList<QPointer<QWidget>> m_containers;
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

void paint(QPainter& painter, const QRectF& bounds, qreal radius, const QWidget& widget) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Palette::accent.in(&widget), 1.5));
    // The pen's width inside the bounds.
    painter.drawRoundedRect(bounds.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    painter.restore();
}

void surround(QWidget& control, int margin, qreal radius) {
    follow();
    new Surrounder(control, margin, radius);
}

} // namespace lunorvale::FocusRing
