#include "core/compose/SeenRecipients.h"

#include <algorithm>
#include <limits>

namespace norvi {

namespace {
constexpr std::size_t kFirstNumberSlots = 1024;
constexpr std::size_t kFirstPairSlots = 64;
constexpr std::size_t kTextSeed = 0x4e6f727669ull;
// NumberSet's keys never set the top bit: here it says the number got the run's one message.
constexpr std::uint64_t kSharedBit = std::uint64_t(1) << 63;
} // namespace

std::uint64_t TextHash(QByteArrayView text) {
    static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "a text's hash has 64 bits");
    return std::uint64_t(qHash(text, kTextSeed));
}

SeenRecipients::SeenRecipients(QByteArray shared, Hash hash) : m_shared(std::move(shared)), m_hash(hash) {}

std::uint64_t SeenRecipients::numberId(QByteArrayView key) {
    std::uint64_t numberKey = 0;
    if (NumberSet::keyOf(key, &numberKey))
        return numberKey;
    // NumberSet's keys hold the digit count (1 to 17) in bits 57 to 61: an id with none there is no such key.
    const QByteArray bytes = key.toByteArray();
    const auto it = m_otherKeys.constFind(bytes);
    if (it != m_otherKeys.cend())
        return it.value();
    const std::uint64_t made = std::uint64_t(m_otherKeys.size() + 1);
    m_otherKeys.insert(bytes, made);
    return made;
}

std::uint64_t& SeenRecipients::numberSlot(std::uint64_t id, bool* isNew) {
    // Three quarters full at most, so a probe ends within a few slots.
    if (std::size_t(m_numberCount + 1) * 4 > m_numbers.size() * 3)
        rehashNumbers(std::max(m_numbers.size() * 2, kFirstNumberSlots));
    // Fibonacci hashing spreads numbers that differ in their last digits over all the bits; the top 32 of
    // them, scaled to the table, pick the slot of a table of any length.
    std::size_t i = std::size_t((((id * 0x9E3779B97F4A7C15ull) >> 32) * std::uint64_t(m_numbers.size())) >> 32);
    for (; m_numbers[i] != 0; i = i + 1 == m_numbers.size() ? 0 : i + 1) {
        if ((m_numbers[i] & ~kSharedBit) == id) {
            *isNew = false;
            return m_numbers[i];
        }
    }
    *isNew = true;
    ++m_numberCount;
    m_numbers[i] = id;
    return m_numbers[i];
}

void SeenRecipients::rehashNumbers(std::size_t length) {
    std::vector<std::uint64_t> old;
    old.swap(m_numbers);
    m_numbers.assign(length, 0);
    m_numberCount = 0;
    for (const std::uint64_t slot : old) {
        if (slot == 0)
            continue;
        bool isNew = true;
        numberSlot(slot & ~kSharedBit, &isNew) = slot;
    }
}

void SeenRecipients::reserve(qsizetype numbers) {
    const std::size_t length = std::size_t(numbers) * 4 / 3 + 1;
    if (length > m_numbers.size())
        rehashNumbers(std::max(length, kFirstNumberSlots));
}

SeenRecipients::Seen SeenRecipients::add(QByteArrayView key, const QByteArray* ownText) {
    const bool shared = !ownText || QByteArrayView(*ownText) == QByteArrayView(m_shared);
    const std::uint64_t id = numberId(key);
    bool numberNew = false;
    std::uint64_t& slot = numberSlot(id, &numberNew);
    if (shared) {
        if (slot & kSharedBit)
            return Seen::SameText;
        slot |= kSharedBit;
        return numberNew ? Seen::New : Seen::OtherText;
    }
    const std::uint64_t hash = m_hash(*ownText);
    if (!numberNew && knownOwnText(id, hash, *ownText))
        return Seen::SameText;
    // A text not kept is never found again: taken as another text, so nobody is left out on a guess.
    if ((!m_keepFor || m_keepFor->contains(key)) && m_texts.size() < std::size_t(std::numeric_limits<int32_t>::max()))
        keepOwnText(id, hash, *ownText);
    return numberNew ? Seen::New : Seen::OtherText;
}

bool SeenRecipients::knownOwnText(std::uint64_t id, std::uint64_t hash, QByteArrayView text) const {
    if (m_pairs.empty())
        return false;
    for (std::size_t i = pairSlotOf(id, hash); m_pairs[i].number != 0; i = (i + 1) & (m_pairs.size() - 1)) {
        const Pair& pair = m_pairs[i];
        if (pair.number == id && pair.hash == hash && text == QByteArrayView(m_texts[std::size_t(pair.text)]))
            return true;
    }
    return false;
}

void SeenRecipients::keepOwnText(std::uint64_t id, std::uint64_t hash, const QByteArray& text) {
    // At most half full, so a probe ends soon.
    if (std::size_t(m_pairCount + 1) * 2 > m_pairs.size())
        growPairs();
    std::size_t i = pairSlotOf(id, hash);
    while (m_pairs[i].number != 0)
        i = (i + 1) & (m_pairs.size() - 1);
    m_texts.push_back(text);
    m_pairs[i] = Pair{id, hash, std::int32_t(m_texts.size() - 1)};
    ++m_pairCount;
}

std::size_t SeenRecipients::pairSlotOf(std::uint64_t id, std::uint64_t hash) const {
    const std::uint64_t mixed = (id ^ (hash * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
    return std::size_t(mixed >> 20) & (m_pairs.size() - 1);
}

void SeenRecipients::growPairs() {
    std::vector<Pair> old;
    old.swap(m_pairs);
    m_pairs.assign(old.empty() ? kFirstPairSlots : old.size() * 2, Pair{0, 0, 0});
    for (const Pair& pair : old) {
        if (pair.number == 0)
            continue;
        std::size_t i = pairSlotOf(pair.number, pair.hash);
        while (m_pairs[i].number != 0)
            i = (i + 1) & (m_pairs.size() - 1);
        m_pairs[i] = pair;
    }
}

} // namespace norvi
