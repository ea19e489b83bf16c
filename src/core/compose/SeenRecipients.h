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
// A pair is kept as the key and a hash of the text, in little memory whatever the run's size; when the hashes
// match, the texts are compared in full, so a message whose text differs is never taken for a duplicate. The
// run's one message (what every recipient without a text of its own gets) is held once; a text of a recipient's
// own is kept as it is met, or only for the keys keepOwnTextsOnlyFor names.
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

private:
    static constexpr std::int32_t kShared = -1;  // the pair's text is the run's one message
    static constexpr std::int32_t kNotKept = -2; // a text of its own that was not kept
    struct Pair {
        std::uint64_t key; // 0: an empty slot (NumberSet's keys are never 0)
        std::uint64_t hash;
        std::int32_t text; // kShared, kNotKept or the index in m_texts
    };
    std::uint64_t pairKey(QByteArrayView key);
    bool sameText(const Pair& pair, QByteArrayView text) const;
    std::int32_t keep(QByteArrayView key, const QByteArray* ownText);
    std::size_t slotOf(std::uint64_t key, std::uint64_t hash) const;
    void grow();

    QByteArray m_shared;
    Hash m_hash;
    const NumberSet* m_keepFor = nullptr;
    NumberSet m_numbers;
    std::vector<Pair> m_pairs;
    qsizetype m_pairCount = 0;
    QHash<QByteArray, std::uint64_t> m_otherKeys; // keys that are no plain number, with a pair key of their own
    std::vector<QByteArray> m_texts;              // the own texts kept
};

} // namespace norvi
