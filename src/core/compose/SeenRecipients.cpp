#include "core/compose/SeenRecipients.h"

#include <QHash>

namespace norvi {

namespace {
constexpr std::size_t kFirstPairSlots = 1024;
constexpr std::size_t kTextSeed = 0x4e6f727669ull;
} // namespace

std::uint64_t TextHash(QByteArrayView text) {
    static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "a text's hash has 64 bits");
    return std::uint64_t(qHash(text, kTextSeed));
}

SeenRecipients::Seen SeenRecipients::add(QByteArrayView key, std::uint64_t textHash) {
    const bool numberNew = m_numbers.insert(key);
    bool pairNew = false;
    std::uint64_t numberKey = 0;
    if (NumberSet::keyOf(key, &numberKey)) {
        pairNew = insertPair(numberKey, textHash);
    } else {
        QByteArray pair = key.toByteArray();
        pair.append('\0');
        pair.append(reinterpret_cast<const char*>(&textHash), sizeof textHash);
        const qsizetype before = m_otherPairs.size();
        m_otherPairs.insert(pair);
        pairNew = m_otherPairs.size() != before;
    }
    if (!pairNew)
        return Seen::SameText;
    return numberNew ? Seen::New : Seen::OtherText;
}

std::size_t SeenRecipients::slotOf(const Pair& pair) const {
    const std::uint64_t mixed = (pair.key ^ (pair.text * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
    return std::size_t(mixed >> 20) & (m_pairs.size() - 1);
}

void SeenRecipients::grow() {
    std::vector<Pair> old;
    old.swap(m_pairs);
    m_pairs.assign(old.empty() ? kFirstPairSlots : old.size() * 2, Pair{0, 0});
    for (const Pair& pair : old) {
        if (pair.key == 0)
            continue;
        std::size_t i = slotOf(pair);
        while (m_pairs[i].key != 0)
            i = (i + 1) & (m_pairs.size() - 1);
        m_pairs[i] = pair;
    }
}

bool SeenRecipients::insertPair(std::uint64_t key, std::uint64_t text) {
    // At most half full, so a probe ends soon.
    if (std::size_t(m_pairCount + 1) * 2 > m_pairs.size())
        grow();
    const Pair pair{key, text};
    std::size_t i = slotOf(pair);
    while (m_pairs[i].key != 0) {
        if (m_pairs[i].key == key && m_pairs[i].text == text)
            return false;
        i = (i + 1) & (m_pairs.size() - 1);
    }
    m_pairs[i] = pair;
    ++m_pairCount;
    return true;
}

} // namespace norvi
