#pragma once

#include "core/compose/NumberSet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <cstdint>
#include <vector>

namespace norvi {

// A 64-bit hash of a message text, which picks the texts to compare in full.
std::uint64_t TextHash(QByteArrayView text);

// The recipients a run has met, by number key (NumberKey) and the text each got: the duplicate check of a send.
// Each number met is one 64-bit slot of a flat table, which also says whether it got the run's one message (what
// every recipient without a text of its own gets): a million numbers take under 11 MB once reserved for them.
// A text of a recipient's own is kept, with its hash, as it is met, or only for the keys keepOwnTextsOnlyFor
// names; when the hashes match, the texts are compared in full, so a message whose text differs is never taken
// for a duplicate.
class SeenRecipients {
public:
    enum class Seen {
        New,       // a number not met before
        SameText,  // the same number with the same text: a duplicate
        OtherText, // the same number with a text it has not had yet
    };
    using Hash = std::uint64_t (*)(QByteArrayView text);

    // `shared`: the run's one message. `hash`: TextHash, or a test's own.
    explicit SeenRecipients(QByteArray shared = {}, Hash hash = TextHash);

    // `ownText`: the recipient's own message, or none for the run's one message.
    Seen add(QByteArrayView key, const QByteArray* ownText = nullptr);

    // Own texts are kept only for recipients whose key is in `keys` (the caller knows no other key comes
    // twice with a text of its own). The set must outlive the check.
    void keepOwnTextsOnlyFor(const NumberSet* keys) { m_keepFor = keys; }
    // Room for `numbers` numbers at once: a table grown a step at a time holds its old slots beside the new
    // ones while it moves them, so a run that knows its count says it.
    void reserve(qsizetype numbers);

private:
    struct Pair {
        std::uint64_t number; // the number's slot value without the flag; 0: an empty slot
        std::uint64_t hash;
        std::int32_t text; // the index in m_texts
    };
    std::uint64_t numberId(QByteArrayView key);
    // The slot of `id` in m_numbers, taken for it when it was not there (`isNew`).
    std::uint64_t& numberSlot(std::uint64_t id, bool* isNew);
    void rehashNumbers(std::size_t length);
    bool knownOwnText(std::uint64_t id, std::uint64_t hash, QByteArrayView text) const;
    void keepOwnText(std::uint64_t id, std::uint64_t hash, const QByteArray& text);
    std::size_t pairSlotOf(std::uint64_t id, std::uint64_t hash) const;
    void growPairs();

    QByteArray m_shared;
    Hash m_hash;
    const NumberSet* m_keepFor = nullptr;
    std::vector<std::uint64_t> m_numbers; // number id, with kSharedBit once it got the run's one message; 0: empty
    qsizetype m_numberCount = 0;
    std::vector<Pair> m_pairs; // the own texts kept, open-addressed
    qsizetype m_pairCount = 0;
    QHash<QByteArray, std::uint64_t> m_otherKeys; // keys that are no plain number, with an id of their own
    std::vector<QByteArray> m_texts;              // the own texts kept
};

} // namespace norvi
