#include "core/compose/SendFeed.h"

namespace norvi {

const sSendContent* QueueFeed::next() {
    if (m_at == SendQueue.cend())
        return nullptr;
    return &*m_at++;
}

bool QueueFeed::forEachPlanned(const std::function<void(const sSendContent&)>& each) {
    for (const sSendContent& record : SendQueue)
        each(record);
    return true;
}

} // namespace norvi
