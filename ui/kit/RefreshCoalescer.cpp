#include "ui/kit/RefreshCoalescer.h"

#include <QEvent>
#include <QWidget>
#include <utility>

namespace lunorvale {

RefreshCoalescer::RefreshCoalescer(QWidget* view, std::function<void()> refresh, WhileHidden whileHidden)
    : QObject(view), m_view(view), m_refresh(std::move(refresh)), m_whileHidden(whileHidden) {
    if (m_whileHidden == WhileHidden::wait)
        view->installEventFilter(this);
}

void RefreshCoalescer::schedule() {
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(this, &RefreshCoalescer::run, Qt::QueuedConnection);
}

void RefreshCoalescer::run() {
    // A refresh on showing may have taken the asked one already.
    if (!std::exchange(m_pending, false))
        return;
    if (m_whileHidden == WhileHidden::wait && !m_view->isVisible())
        return;
    m_refresh();
}

bool RefreshCoalescer::eventFilter(QObject* watched, QEvent* event) {
    // Sent once the view counts as visible and before it is painted; whatever was asked while it was
    // hidden, or is still queued, is taken now.
    if (watched == m_view && event->type() == QEvent::Show) {
        m_pending = false;
        m_refresh();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lunorvale
