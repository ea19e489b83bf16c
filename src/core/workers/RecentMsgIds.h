#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace norvi {

// The MsgIds of a run's latest acceptances, the oldest forgotten first once `capacity` are kept: a late copy of
// a reply comes within moments on the same connection, so a long run need not keep every one. Each is kept in
// a fixed slot of its own with an open-addressed index over the slots, all taken at the first: a run's message
// costs no allocation, and a run's memory stays level. A MsgId longer than any the gateway hands out is never
// kept (the job refuses such an answer before).
class RecentMsgIds {
public:
    static constexpr std::size_t kMaxBytes = 20;
    explicit RecentMsgIds(std::size_t capacity = 65536);

    bool contains(QByteArrayView id) const;
    // Keeps `id`, forgetting the oldest when full; false when it was kept already (it is left as it is).
    bool insert(QByteArrayView id);
    std::size_t size() const { return m_ids.size(); }

private:
    struct Id {
        std::uint32_t hash;
        std::uint8_t size;
        char bytes[kMaxBytes];
    };
    static std::uint32_t hashOf(QByteArrayView id);
    static bool same(const Id& kept, QByteArrayView id);
    // The index position that names slot `slot` + 1, or of the empty place where `id` would go.
    std::size_t findPlace(QByteArrayView id, std::uint32_t hash) const;
    void erasePlace(std::size_t place);
    void placeSlot(std::size_t slot);
    static std::size_t indexLengthFor(std::size_t ids);

    const std::size_t m_capacity;
    std::vector<Id> m_ids;              // in the order kept until full, then each new one in the oldest's slot
    std::size_t m_oldest = 0;           // once full: the slot the next one replaces
    std::vector<std::uint32_t> m_index; // slot + 1, 0 for an empty place; at most half full; a power of two long
};

} // namespace norvi
