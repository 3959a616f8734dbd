#include "app/shell/PopoverHost.h"

#include "ui/kit/Palette.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace lunorvale {

namespace PopoverGeometry {

int height(bool hasFindings, bool hasOtherReminders, bool updateAvailable) {
    return (hasFindings ? 505 : 405) + (hasOtherReminders ? 40 : 0) + (updateAvailable ? 40 : 0);
}

int previewHeight(bool hasFindings, bool pageShowsUpdate, bool hasMemoryObservations) {
    return (hasFindings ? 505 : 405) + (pageShowsUpdate ? 40 : 0) + (hasMemoryObservations ? 40 : 0);
}

int openingHeight(int tableHeight, int contentHeight, int availableHeight) {
    return std::min(std::max(tableHeight, contentHeight), availableHeight);
}

QPoint origin(const QRect& anchor, const QSize& size, const QRect& available) {
    constexpr int gap = 4;
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.bottom() + 1 + gap;
    // A panel at the bottom of the screen: open upwards.
    if (y + size.height() > available.bottom() + 1 && anchor.top() - gap - size.height() >= available.top())
        y = anchor.top() - gap - size.height();
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}

bool isEchoOfDismissal(std::optional<std::chrono::steady_clock::time_point> dismissedAt,
                       std::chrono::steady_clock::time_point now) {
    return dismissedAt && now >= *dismissedAt && now - *dismissedAt < std::chrono::milliseconds(400);
}

} // namespace PopoverGeometry

class PopoverHost::Window final : public QWidget {
public:
    explicit Window(PopoverHost* host)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_host(host) {
        setObjectName(QStringLiteral("popover"));
        setWindowTitle(QStringLiteral("岚栖 · 菜单"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_border->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void prepareToShow() {
        m_border->setGeometry(rect());
        m_border->raise();
        // Typed as a menu, the window gets the shadow the desktop draws under menus, which keeps a
        // white popover apart from a white window behind it; the border does where there is no shadow.
        // Qt passes the type on only to a window that exists already.
        if (!testAttribute(Qt::WA_X11NetWmWindowTypePopupMenu)) {
            winId();
            setAttribute(Qt::WA_X11NetWmWindowTypePopupMenu);
        }
    }

    void prepareToClose(bool outside) { m_outside = outside; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        m_border->setGeometry(rect());
    }
    bool event(QEvent* event) override {
        // A click into another window (of this program or another) takes the activation away.
        if (event->type() == QEvent::WindowDeactivate && isVisible()) {
            m_outside = true;
            hide();
        }
        const bool handled = QWidget::event(event);
        // The content asks for another size (its layout changed).
        if (event->type() == QEvent::LayoutRequest && isVisible())
            m_host->fit();
        return handled;
    }
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        const bool outside = m_outside;
        m_outside = false;
        m_host->windowHidden(outside);
    }

private:
    // Drawn over the content's edge, so the content keeps its whole size.
    class Border final : public QWidget {
    public:
        using QWidget::QWidget;

    protected:
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            painter.setPen(QPen(Palette::line.in(this), 1));
            painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        }
    };

    PopoverHost* m_host;
    Border* m_border = new Border(this);
    bool m_outside = false;
};

PopoverHost::PopoverHost(QObject* parent) : QObject(parent), m_window(new Window(this)) {}

PopoverHost::~PopoverHost() {
    // Nobody hears of a close the host's own end causes.
    blockSignals(true);
    delete m_window;
}

bool PopoverHost::isShown() const {
    return m_window->isVisible();
}

QWidget* PopoverHost::window() const {
    return m_window;
}

void PopoverHost::show(QWidget* content, const QSize& least, const QRect& anchor) {
    close();
    m_content = content;
    m_least = least;
    m_anchor = anchor;
    m_window->layout()->addWidget(content);
    fit();
    m_window->prepareToShow();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PopoverHost::setLeastHeight(int height) {
    if (height == m_least.height())
        return;
    m_least.setHeight(height);
    if (m_window->isVisible())
        fit();
}

void PopoverHost::fit() {
    const QScreen* screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), m_least);
    const int contentHeight = m_content ? m_content->sizeHint().height() : 0;
    const QSize size(m_least.width(),
                     PopoverGeometry::openingHeight(m_least.height(), contentHeight, available.height()));
    if (size != m_window->size() || size != m_window->minimumSize())
        m_window->setFixedSize(size);
    const QPoint origin = PopoverGeometry::origin(m_anchor, size, available);
    if (origin != m_window->pos())
        m_window->move(origin);
}

void PopoverHost::close() {
    if (m_window->isVisible())
        m_window->hide();
}

void PopoverHost::closeFromOutside() {
    if (!m_window->isVisible())
        return;
    m_window->prepareToClose(true);
    m_window->hide();
}

void PopoverHost::windowHidden(bool outside) {
    if (outside)
        m_lastOutsideDismissal = std::chrono::steady_clock::now();
    // The close may come from inside the content, a click that opens the main window: the control
    // and its handler still run when this returns, so the content goes once their event is over.
    // Meanwhile it is hidden and out of the layout, so a popover opened before then neither shows it
    // nor is sized by it, and its shortcut no longer fires.
    if (QWidget* content = m_content.data()) {
        m_content = nullptr;
        m_window->layout()->removeWidget(content);
        content->hide();
        content->deleteLater();
    }
    emit closed();
}

} // namespace lunorvale
