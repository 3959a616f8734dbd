#include "support/FakeStatusNotifierWatcher.h"

namespace lunorvale::test {

QStringList FakeStatusNotifierWatcher::items() const {
    const std::lock_guard lock(m_mutex);
    return m_items;
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service) {
    {
        const std::lock_guard lock(m_mutex);
        m_items << service;
    }
    emit StatusNotifierItemRegistered(service);
}

} // namespace lunorvale::test
