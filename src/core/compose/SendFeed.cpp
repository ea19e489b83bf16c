#include "core/compose/SendFeed.h"

#include "core/compose/ComposeState.h"

namespace norvi {

QueueWalk::QueueWalk() : m_feed(SendQueueFeed), m_at(SendQueue.cbegin()) {}

const sSendContent* QueueWalk::next() {
    if (m_feed)
        return m_feed->next(m_record) ? &m_record : nullptr;
    if (m_at == SendQueue.cend())
        return nullptr;
    return &*m_at++;
}

} // namespace norvi
