#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>

#include <cstdint>
#include <vector>

namespace norvi {

// The numbers already queued in a run, for the duplicate check, in little memory whatever the run's
// size: a number of at most 17 digits (a leading "+" allowed) is kept as one 64-bit key in an open-
// addressed table, which holds a million mobile numbers in 16 MB; any other number as its bytes.
class NumberSet {
public:
    // True when `number` was not in the set yet; it is now.
    bool insert(QByteArrayView number);
    bool contains(QByteArrayView number) const;
    qsizetype size() const { return m_keys + m_others.size(); }

    // The key of a number made of digits alone (a leading "+" allowed, at most 17 digits), never 0; false
    // for any other.
    static bool keyOf(QByteArrayView number, std::uint64_t* key);

private:
    std::size_t slotOf(std::uint64_t key) const;
    void grow();

    std::vector<std::uint64_t> m_slots; // 0 is an empty slot; a key is never 0
    qsizetype m_keys = 0;
    QSet<QByteArray> m_others;
};

} // namespace norvi
