#include "core/workers/RecentMsgIds.h"

#include <algorithm>
#include <cstring>

namespace norvi {

RecentMsgIds::RecentMsgIds(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)) {}

std::uint32_t RecentMsgIds::hashOf(QByteArrayView id) {
    // FNV-1a: MsgIds are short and differ in their last digits, which it spreads over every bit.
    std::uint32_t h = 2166136261u;
    for (const char c : id) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

bool RecentMsgIds::same(const Id& kept, QByteArrayView id) {
    return kept.size == id.size() && std::memcmp(kept.bytes, id.data(), std::size_t(id.size())) == 0;
}

std::size_t RecentMsgIds::findPlace(QByteArrayView id, std::uint32_t hash) const {
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t place = hash & mask;; place = (place + 1) & mask) {
        const std::uint32_t slot = m_index[place];
        if (slot == 0)
            return place;
        const Id& kept = m_ids[slot - 1];
        if (kept.hash == hash && same(kept, id))
            return place;
    }
}

bool RecentMsgIds::contains(QByteArrayView id) const {
    if (m_index.empty() || std::size_t(id.size()) > kMaxBytes)
        return false;
    return m_index[findPlace(id, hashOf(id))] != 0;
}

bool RecentMsgIds::insert(QByteArrayView id) {
    if (std::size_t(id.size()) > kMaxBytes)
        return true;
    const std::uint32_t hash = hashOf(id);
    if (!m_index.empty() && m_index[findPlace(id, hash)] != 0)
        return false;
    Id made{};
    made.hash = hash;
    made.size = std::uint8_t(id.size());
    std::memcpy(made.bytes, id.data(), std::size_t(id.size()));
    if (m_ids.empty()) {
        // All the room at once: a ring and an index that doubled as they filled would leave their old
        // blocks behind in the heap, and the memory of a long run would not stay level.
        m_ids.reserve(m_capacity);
        m_index.assign(indexLengthFor(m_capacity), 0);
    }
    if (m_ids.size() < m_capacity) {
        m_ids.push_back(made);
        placeSlot(m_ids.size() - 1);
        return true;
    }
    const std::size_t slot = m_oldest;
    m_oldest = (m_oldest + 1) % m_capacity;
    const Id& oldest = m_ids[slot];
    erasePlace(findPlace(QByteArrayView(oldest.bytes, oldest.size), oldest.hash));
    m_ids[slot] = made;
    placeSlot(slot);
    return true;
}

void RecentMsgIds::placeSlot(std::size_t slot) {
    const std::size_t mask = m_index.size() - 1;
    std::size_t place = m_ids[slot].hash & mask;
    while (m_index[place] != 0)
        place = (place + 1) & mask;
    m_index[place] = std::uint32_t(slot + 1);
}

// Linear probing leaves no gap in a chain: the entries after the emptied place move back into it unless their
// own home lies between the two (cyclically), so every lookup still finds them.
void RecentMsgIds::erasePlace(std::size_t hole) {
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t next = (hole + 1) & mask; m_index[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = m_ids[m_index[next] - 1].hash & mask;
        const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (stays)
            continue;
        m_index[hole] = m_index[next];
        hole = next;
    }
    m_index[hole] = 0;
}

std::size_t RecentMsgIds::indexLengthFor(std::size_t ids) {
    std::size_t length = 16;
    while (2 * ids > length)
        length *= 2;
    return length;
}

} // namespace norvi
