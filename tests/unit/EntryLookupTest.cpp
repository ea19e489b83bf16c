#include "core/compose/EntryLookup.h"
#include "core/addressbook/BookFile.h"
#include "core/shared/Big5.h"
#include "support/BookRecords.h"

#include <gtest/gtest.h>

namespace norvi {
namespace {

class EntryLookupTest : public ::testing::Test {
protected:
    AddressBook book;
    void SetUp() override {
        book.putMember(test::member(101, big5("王小明"), "0911000001"));
        book.putMember(test::member(102, "Twin", "0911000002"));
        sGroup g = test::group(-5, {{0, 101}});
        putField(g.name, big5("業務部"));
        book.putGroup(g);
        sGroup twin = test::group(-6);
        putField(twin.name, QByteArray("Twin"));
        book.putGroup(twin);
    }
};

TEST_F(EntryLookupTest, MemberAndGroupBecomeAddressBookEntries) {
    const NamedEntry member = RecipientEntryForName(book, big5(" 王小明 "));
    ASSERT_TRUE(member.ok) << member.error.toStdString();
    EXPECT_EQ(member.entry.id, 101);
    EXPECT_EQ(member.entry.kind, KindAddressBook);
    EXPECT_EQ(getField(member.entry.label), big5("王小明"));

    const NamedEntry group = RecipientEntryForName(book, big5("業務部"));
    ASSERT_TRUE(group.ok);
    EXPECT_EQ(group.entry.id, -5);
    EXPECT_EQ(group.entry.kind, KindAddressBook);

    // A name of 100 bytes is one more than a label keeps: its last character is left out whole.
    book.putMember(test::member(103, big5("功").repeated(50), "0911000003"));
    const NamedEntry full = RecipientEntryForName(book, big5("功").repeated(50));
    ASSERT_TRUE(full.ok);
    EXPECT_EQ(getField(full.entry.label), big5("功").repeated(49));
}

TEST_F(EntryLookupTest, UnknownAndAmbiguousNamesAreRefusedWithTheName) {
    const NamedEntry none = RecipientEntryForName(book, big5("李四"));
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(none.error.contains(QStringLiteral("李四")));

    // A member and a group share the name: neither is guessed.
    const NamedEntry twin = RecipientEntryForName(book, "Twin");
    EXPECT_FALSE(twin.ok);
    EXPECT_TRUE(twin.error.contains(QStringLiteral("Twin")));
    EXPECT_EQ(FindEntriesByName(book, "Twin"), (QList<int32_t>{102, -6}));

    EXPECT_TRUE(FindEntriesByName(book, "  ").isEmpty());
}

// Records a damaged book put into the maps: each name is refused naming the wrong record, never thrown
// over and never resolved to the entry of the other kind.
TEST_F(EntryLookupTest, RecordsWithTheWrongSignOrASharedIdAreRefusedNamingThem) {
    book.putMember(test::member(-9, "MinusMember", "0911"));
    book.putGroup(test::named(test::group(9), "PlusGroup"));
    book.putMember(test::member(-5, "Shadow", "0922")); // shares -5 with the group 業務部

    const struct {
        const char* name;
        const char* error;
    } cases[] = {
        {"MinusMember", "通訊錄資料有誤：成員「MinusMember」的識別碼 -9 不是正數。無法傳送給「MinusMember」！"},
        {"PlusGroup", "通訊錄資料有誤：群組「PlusGroup」的識別碼 9 不是負數。無法傳送給「PlusGroup」！"},
        {"Shadow", "通訊錄資料有誤：成員「Shadow」與群組「業務部」的識別碼同為 -5。無法傳送給「Shadow」！"},
        {"業務部", "通訊錄資料有誤：成員「Shadow」與群組「業務部」的識別碼同為 -5。無法傳送給「業務部」！"},
    };
    for (const auto& c : cases) {
        NamedEntry entry;
        ASSERT_NO_THROW(entry = RecipientEntryForName(book, big5(c.name))) << c.name;
        EXPECT_FALSE(entry.ok) << c.name;
        EXPECT_EQ(entry.error, QString::fromUtf8(c.error));
    }
    EXPECT_TRUE(RecipientEntryForName(book, big5("王小明")).ok) << "sound records stay usable";
}

// Entries of one name come in the order of their creation whatever order they were stored in (members by
// id, then groups from the id nearest zero), so a caller that takes the first gets the oldest member; the
// lookup follows every rename, erasure and addition.
TEST_F(EntryLookupTest, DuplicateNamesComeInTheOrderOfCreationAndFollowTheEdits) {
    book.putMember(test::member(300, "Dup", "0911"));
    book.putGroup(test::named(test::group(-40), "Dup"));
    book.putMember(test::member(50, " Dup ", "0922"));
    book.putGroup(test::named(test::group(-7), "Dup"));
    book.putMember(test::member(120, "Dup\t", "0933"));
    book.putMember(test::member(90, "Dupe", "0944"));
    EXPECT_EQ(FindEntriesByName(book, " Dup"), (QList<int32_t>{50, 120, 300, -7, -40}));
    EXPECT_EQ(RecipientEntryForName(book, "Dup").error,
              QStringLiteral("通訊錄中有 5 筆名為「Dup」的成員或群組，無法判斷要傳送給哪一筆！"));

    book.putMember(test::member(50, "Other", "0922"));
    book.putMember(test::member(300, "Dup", "0955")); // a new number, the same name
    book.eraseMember(120);
    book.eraseGroup(-7);
    book.putMember(test::member(10, "Dup", "0966"));
    EXPECT_EQ(FindEntriesByName(book, "Dup"), (QList<int32_t>{10, 300, -40}));
    EXPECT_EQ(FindEntriesByName(book, "Other"), (QList<int32_t>{50}));
    book.clear();
    EXPECT_TRUE(FindEntriesByName(book, "Dup").isEmpty());
}

TEST_F(EntryLookupTest, TypedNumberIsKindTwoWithoutId) {
    const sMtData entry = TypedNumberEntry("+886912345678");
    EXPECT_EQ(entry.kind, KindTyped);
    EXPECT_EQ(entry.id, 0);
    EXPECT_EQ(getField(entry.label), "+886912345678");
}

} // namespace
} // namespace norvi
