#include "core/compose/SeenRecipients.h"

#include <limits>

namespace norvi {

namespace {
constexpr std::size_t kFirstPairSlots = 1024;
constexpr std::size_t kTextSeed = 0x4e6f727669ull;
// NumberSet's keys never set the top bit: the keys of other numbers do.
constexpr std::uint64_t kOtherKeyBit = std::uint64_t(1) << 63;
} // namespace

std::uint64_t TextHash(QByteArrayView text) {
    static_assert(sizeof(std::size_t) == sizeof(std::uint64_t), "a text's hash has 64 bits");
    return std::uint64_t(qHash(text, kTextSeed));
}

SeenRecipients::SeenRecipients(QByteArray shared, Hash hash) : m_shared(std::move(shared)), m_hash(hash) {}

std::uint64_t SeenRecipients::pairKey(QByteArrayView key) {
    std::uint64_t numberKey = 0;
    if (NumberSet::keyOf(key, &numberKey))
        return numberKey;
    const QByteArray bytes = key.toByteArray();
    const auto it = m_otherKeys.constFind(bytes);
    if (it != m_otherKeys.cend())
        return it.value();
    const std::uint64_t made = kOtherKeyBit | std::uint64_t(m_otherKeys.size() + 1);
    m_otherKeys.insert(bytes, made);
    return made;
}

bool SeenRecipients::sameText(const Pair& pair, QByteArrayView text) const {
    if (pair.text == kShared)
        return text == QByteArrayView(m_shared);
    if (pair.text == kNotKept)
        return false; // unknown: taken as another text, so nobody is left out on a guess
    return text == QByteArrayView(m_texts[std::size_t(pair.text)]);
}

std::int32_t SeenRecipients::keep(QByteArrayView key, const QByteArray* ownText) {
    if (!ownText)
        return kShared;
    if ((m_keepFor && !m_keepFor->contains(key)) || m_texts.size() >= std::size_t(std::numeric_limits<int32_t>::max()))
        return kNotKept;
    m_texts.push_back(*ownText);
    return std::int32_t(m_texts.size() - 1);
}

SeenRecipients::Seen SeenRecipients::add(QByteArrayView key, const QByteArray* ownText) {
    const QByteArrayView text = ownText ? QByteArrayView(*ownText) : QByteArrayView(m_shared);
    const std::uint64_t hash = m_hash(text);
    const bool numberNew = m_numbers.insert(key);
    const std::uint64_t id = pairKey(key);
    // At most half full, so a probe ends soon.
    if (std::size_t(m_pairCount + 1) * 2 > m_pairs.size())
        grow();
    std::size_t i = slotOf(id, hash);
    for (; m_pairs[i].key != 0; i = (i + 1) & (m_pairs.size() - 1)) {
        const Pair& pair = m_pairs[i];
        if (pair.key == id && pair.hash == hash && sameText(pair, text))
            return Seen::SameText;
    }
    m_pairs[i] = Pair{id, hash, keep(key, ownText)};
    ++m_pairCount;
    return numberNew ? Seen::New : Seen::OtherText;
}

std::size_t SeenRecipients::slotOf(std::uint64_t key, std::uint64_t hash) const {
    const std::uint64_t mixed = (key ^ (hash * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
    return std::size_t(mixed >> 20) & (m_pairs.size() - 1);
}

void SeenRecipients::grow() {
    std::vector<Pair> old;
    old.swap(m_pairs);
    m_pairs.assign(old.empty() ? kFirstPairSlots : old.size() * 2, Pair{0, 0, kShared});
    for (const Pair& pair : old) {
        if (pair.key == 0)
            continue;
        std::size_t i = slotOf(pair.key, pair.hash);
        while (m_pairs[i].key != 0)
            i = (i + 1) & (m_pairs.size() - 1);
        m_pairs[i] = pair;
    }
}

} // namespace norvi
