#pragma once

#include "core/compose/NumberSet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>

#include <cstdint>
#include <vector>

namespace norvi {

// The recipients a run has met, by number key (NumberKey) and the hash of the text each got (TextHash), in
// little memory whatever the run's size: the duplicate check of a send.
class SeenRecipients {
public:
    enum class Seen {
        New,       // a number not met before
        SameText,  // the same number with the same text: a duplicate
        OtherText, // the same number with a text it has not had yet
    };
    Seen add(QByteArrayView key, std::uint64_t textHash);

private:
    struct Pair {
        std::uint64_t key; // 0: an empty slot (NumberSet's keys are never 0)
        std::uint64_t text;
    };
    bool insertPair(std::uint64_t key, std::uint64_t text);
    std::size_t slotOf(const Pair& pair) const;
    void grow();

    NumberSet m_numbers;
    std::vector<Pair> m_pairs;
    qsizetype m_pairCount = 0;
    QSet<QByteArray> m_otherPairs; // of keys that are not plain numbers: the key, a NUL, the hash
};

// A 64-bit hash of a message text: two texts with the same hash are taken as the same text.
std::uint64_t TextHash(QByteArrayView text);

} // namespace norvi
