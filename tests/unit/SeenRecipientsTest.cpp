// The duplicate check: a number met again with the same text is a duplicate, with another text it is not, even
// when the two texts share their hash.
#include "core/compose/SeenRecipients.h"

#include <gtest/gtest.h>

using namespace norvi;

namespace {

using Seen = SeenRecipients::Seen;

// Every text hashes alike, so only the full comparison tells texts apart.
std::uint64_t sameHashForAll(QByteArrayView) {
    return 42;
}

struct Meeting {
    const char* key;
    const char* ownText; // nullptr: the run's one message
    Seen seen;
};

void expectMeetings(SeenRecipients& seen, std::initializer_list<Meeting> meetings) {
    int step = 0;
    for (const Meeting& m : meetings) {
        const QByteArray own = m.ownText ? QByteArray(m.ownText) : QByteArray();
        EXPECT_EQ(seen.add(m.key, m.ownText ? &own : nullptr), m.seen) << "step " << step << " " << m.key;
        ++step;
    }
}

} // namespace

TEST(SeenRecipientsTest, OnlyTheSameNumberWithTheSameWholeTextIsADuplicate) {
    for (const SeenRecipients::Hash hash : {SeenRecipients::Hash(TextHash), SeenRecipients::Hash(sameHashForAll)}) {
        SCOPED_TRACE(hash == TextHash ? "real hash" : "every hash alike");
        SeenRecipients seen("hi", hash);
        expectMeetings(seen, {
                                 {"0912345678", nullptr, Seen::New},
                                 {"0912345678", nullptr, Seen::SameText},
                                 {"0912345678", "hi", Seen::SameText}, // its own text, the same as the message
                                 {"0912345678", "ho", Seen::OtherText},
                                 {"0912345678", "ho", Seen::SameText},
                                 {"0922000111", "ho", Seen::New},
                                 {"abc", nullptr, Seen::New}, // a key that is no number is kept apart
                                 {"abc", "ho", Seen::OtherText},
                                 {"abc", "ho", Seen::SameText},
                                 {"abd", "ho", Seen::New},
                             });
    }
}

// Own texts kept only for some keys: a text not kept is never taken for the same one, so nobody is left out on
// a guess; the run's one message is always known.
TEST(SeenRecipientsTest, ATextNotKeptIsNeverTakenForTheSame) {
    NumberSet repeated;
    repeated.insert("0912345678");
    SeenRecipients seen("hi", sameHashForAll);
    seen.keepOwnTextsOnlyFor(&repeated);
    expectMeetings(seen, {
                             {"0912345678", "own", Seen::New},
                             {"0912345678", "own", Seen::SameText},
                             {"0922000111", "own", Seen::New},
                             {"0922000111", "own", Seen::OtherText},
                             {"0922000111", nullptr, Seen::OtherText},
                             {"0922000111", "hi", Seen::SameText},
                         });
}

// Many numbers: the table grows and still finds each one.
TEST(SeenRecipientsTest, AGrownTableStillFindsEveryNumberAndText) {
    SeenRecipients seen("hi", sameHashForAll);
    for (int i = 0; i < 5000; ++i) {
        const QByteArray key = "09" + QByteArray::number(10000000 + i);
        const QByteArray own = QByteArray::number(i % 3);
        ASSERT_EQ(seen.add(key, &own), Seen::New) << i;
    }
    for (int i = 0; i < 5000; ++i) {
        const QByteArray key = "09" + QByteArray::number(10000000 + i);
        const QByteArray own = QByteArray::number(i % 3);
        const QByteArray other = QByteArray::number(i % 3 + 1);
        ASSERT_EQ(seen.add(key, &own), Seen::SameText) << i;
        ASSERT_EQ(seen.add(key, &other), Seen::OtherText) << i;
    }
}
