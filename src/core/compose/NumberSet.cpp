#include "core/compose/NumberSet.h"

#include <algorithm>

namespace norvi {

namespace {
constexpr int kMaxKeyDigits = 17; // 10^17 < 2^57
constexpr int kLengthShift = 57;  // the digit count, 1 to 17, in bits 57..61, so "09" and "9" differ
constexpr std::uint64_t kPlusBit = std::uint64_t(1) << 62;
constexpr std::size_t kFirstSlots = 1024;
} // namespace

bool NumberSet::keyOf(QByteArrayView number, std::uint64_t* key) {
    std::uint64_t flags = 0;
    if (number.startsWith('+')) {
        flags = kPlusBit;
        number = number.sliced(1);
    }
    if (number.isEmpty() || number.size() > kMaxKeyDigits)
        return false;
    std::uint64_t value = 0;
    for (const char c : number) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    *key = flags | (std::uint64_t(number.size()) << kLengthShift) | value;
    return true;
}

std::size_t NumberSet::slotOf(std::uint64_t key) const {
    // Fibonacci hashing spreads numbers that differ in their last digits over all the bits; the top 32 of
    // them, scaled to the table, pick the slot of a table of any length.
    const std::uint64_t mixed = key * 0x9E3779B97F4A7C15ull;
    return std::size_t(((mixed >> 32) * std::uint64_t(m_slots.size())) >> 32);
}

void NumberSet::rehash(std::size_t length) {
    std::vector<std::uint64_t> old;
    old.swap(m_slots);
    m_slots.assign(length, 0);
    for (const std::uint64_t key : old) {
        if (key == 0)
            continue;
        std::size_t i = slotOf(key);
        while (m_slots[i] != 0)
            i = i + 1 == m_slots.size() ? 0 : i + 1;
        m_slots[i] = key;
    }
}

void NumberSet::reserve(qsizetype numbers) {
    // Three quarters full at most: a probe still ends within a few slots.
    const std::size_t length = std::size_t(numbers) * 4 / 3 + 1;
    if (length > m_slots.size())
        rehash(std::max(length, kFirstSlots));
}

bool NumberSet::insert(QByteArrayView number) {
    std::uint64_t key = 0;
    if (!keyOf(number, &key)) {
        const QByteArray bytes = number.toByteArray();
        if (m_others.contains(bytes))
            return false;
        m_others.insert(bytes);
        return true;
    }
    if (std::size_t(m_keys + 1) * 4 > m_slots.size() * 3)
        rehash(std::max(m_slots.size() * 2, kFirstSlots));
    std::size_t i = slotOf(key);
    while (m_slots[i] != 0) {
        if (m_slots[i] == key)
            return false;
        i = i + 1 == m_slots.size() ? 0 : i + 1;
    }
    m_slots[i] = key;
    ++m_keys;
    return true;
}

bool NumberSet::contains(QByteArrayView number) const {
    std::uint64_t key = 0;
    if (!keyOf(number, &key))
        return m_others.contains(number.toByteArray());
    if (m_slots.empty())
        return false;
    for (std::size_t i = slotOf(key); m_slots[i] != 0; i = i + 1 == m_slots.size() ? 0 : i + 1)
        if (m_slots[i] == key)
            return true;
    return false;
}

} // namespace norvi
