#include "app/shell/PopoverHost.h"

#include <QGuiApplication>
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
    }

    void prepareToClose(bool outside) { m_outside = outside; }

protected:
    bool event(QEvent* event) override {
        // A click into another window (of this program or another) takes the activation away.
        if (event->type() == QEvent::WindowDeactivate && isVisible()) {
            m_outside = true;
            hide();
        }
        return QWidget::event(event);
    }
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        const bool outside = m_outside;
        m_outside = false;
        m_host->windowHidden(outside);
    }

private:
    PopoverHost* m_host;
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

void PopoverHost::show(QWidget* content, const QSize& size, const QRect& anchor) {
    close();
    m_content = content;
    m_window->layout()->addWidget(content);
    m_window->setFixedSize(size);
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        m_window->move(PopoverGeometry::origin(anchor, size, screen->availableGeometry()));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PopoverHost::close() {
    if (m_window->isVisible())
        m_window->hide();
}

void PopoverHost::windowHidden(bool outside) {
    if (outside)
        m_lastOutsideDismissal = std::chrono::steady_clock::now();
    delete m_content.data();
    emit closed();
}

} // namespace lunorvale
