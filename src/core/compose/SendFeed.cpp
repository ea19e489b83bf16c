#include "core/compose/SendFeed.h"

namespace norvi {

const sSendContent* QueueFeed::next() {
    if (m_at == SendQueue.cend())
        return nullptr;
    return &*m_at++;
}

} // namespace norvi
