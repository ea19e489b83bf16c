#include "core/addressbook/BookRows.h"
#include "core/addressbook/BookEdits.h"
#include "core/addressbook/BookFile.h"
#include "support/BookRecords.h"

#include <gtest/gtest.h>

using namespace norvi;
using test::group;
using test::member;

namespace {

class BookRowsTest : public ::testing::Test {
protected:
    AddressBook book;
    static BookRow row(const QByteArray& caption, const QByteArray& msisdn = {}, const QByteArray& desc = {}) {
        BookRow r;
        r.caption = caption;
        r.msisdn = msisdn;
        r.desc = desc;
        return r;
    }
    static QList<QByteArray> column(const std::vector<BookRow>& rows, int c) {
        QList<QByteArray> texts;
        for (const BookRow& r : rows)
            texts << r.text(c);
        return texts;
    }
};

} // namespace

TEST_F(BookRowsTest, WholeBookListsMembersThenGroupsInIdOrderWithTheNumberTextAsStored) {
    book.putMember(member(30, "C", "0911;@0922;0933", "desc"));
    book.putMember(member(10, "A", "0900"));
    book.putGroup(group(-5));
    book.putGroup(group(-9));
    const std::vector<BookRow> rows = AllBookRows(book);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].id, 10);
    EXPECT_EQ(rows[1].id, 30);
    EXPECT_EQ(rows[1].msisdn, "0911;@0922;0933");
    EXPECT_EQ(rows[1].desc, "desc");
    EXPECT_EQ(rows[2].id, -9);
    EXPECT_EQ(rows[3].id, -5);
    EXPECT_EQ(rows[2].kind, RowKind::Group);
    EXPECT_TRUE(rows[3].msisdn.isEmpty() && rows[3].desc.isEmpty());
}

TEST_F(BookRowsTest, GroupRowsFollowSlotOrderSkipHolesAndUnknownIds) {
    book.putMember(member(1, "one", "0911", "d1"));
    book.putMember(member(2, "two", "0922"));
    book.putGroup(group(-3));
    const sGroup g = group(-7, {{5, 2}, {0, -3}, {2, 99}, {999, 1}});
    const std::vector<BookRow> rows = GroupRows(book, g, true);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, -3);
    EXPECT_EQ(rows[1].id, 2);
    EXPECT_EQ(rows[2].id, 1);
    EXPECT_EQ(rows[2].desc, "d1");
    EXPECT_TRUE(GroupRows(book, g, false)[2].msisdn.isEmpty()); // one column: names only
}

TEST_F(BookRowsTest, CompareFoldsOnlyAsciiLettersAndOrdersOtherBytesUnsigned) {
    EXPECT_EQ(CompareBookText("abc", "ABC"), 0);
    EXPECT_LT(CompareBookText("abc", "abd"), 0);
    EXPECT_LT(CompareBookText("ab", "abc"), 0);
    EXPECT_LT(CompareBookText("+886", "0912"), 0);  // "+" before digits
    EXPECT_GT(CompareBookText("@0912", "0912"), 0); // "@" after digits
    // Letters fold to capitals, so "_" (0x5F) sorts after every letter.
    EXPECT_GT(CompareBookText("_", "z"), 0);
    // A Big5 byte (0xA4) sorts after every ASCII byte, not before as a signed char would.
    EXPECT_GT(CompareBookText("\xa4\x40", "z"), 0);
    EXPECT_EQ(CompareBookText("", ""), 0);
}

TEST_F(BookRowsTest, SortByNumberAscendingPutsGroupsFirstAndKeepsEqualRowsInOrder) {
    std::vector<BookRow> rows = {row("m1", "0922"),    row("g1"), row("m2", "@0911;0933"),
                                 row("m3", "+886911"), row("g2"), row("m4", "0911")};
    SortBookRows(rows, 1, true);
    EXPECT_EQ(column(rows, 0), (QList<QByteArray>{"g1", "g2", "m3", "m4", "m1", "m2"}));
    SortBookRows(rows, 1, false);
    EXPECT_EQ(column(rows, 0), (QList<QByteArray>{"m2", "m1", "m4", "m3", "g1", "g2"}));
}

TEST_F(BookRowsTest, SortByNameOrDescriptionAndInsertPositionAgree) {
    std::vector<BookRow> rows = {row("bob", {}, "2"), row("Alice", {}, "3"), row("carol", {}, "1")};
    SortBookRows(rows, 0, true);
    EXPECT_EQ(column(rows, 0), (QList<QByteArray>{"Alice", "bob", "carol"}));
    SortBookRows(rows, 2, false);
    EXPECT_EQ(column(rows, 0), (QList<QByteArray>{"Alice", "bob", "carol"}));
    SortBookRows(rows, 0, true);
    EXPECT_EQ(SortedInsertPosition(rows, row("BOB"), 0, true), 2u); // after the equal row
    EXPECT_EQ(SortedInsertPosition(rows, row("aaron"), 0, true), 0u);
    EXPECT_EQ(SortedInsertPosition(rows, row("zed"), 0, true), 3u);
}

TEST_F(BookRowsTest, SlotEditsKeepOtherSlotsInPlace) {
    sGroup g = group(-1, {{0, 5}, {1, 6}, {2, 5}});
    EXPECT_TRUE(ClearFirstSlot(g, 5));
    EXPECT_EQ(g.members[0], 0);
    EXPECT_EQ(g.members[1], 6);
    EXPECT_EQ(g.members[2], 5); // only the first slot holding the id
    EXPECT_FALSE(ClearFirstSlot(g, 42));
    EXPECT_TRUE(AddToFirstFreeSlot(g, 7));
    EXPECT_EQ(g.members[0], 7); // the hole is reused
    EXPECT_EQ(GroupEntryIds(g), (std::vector<int32_t>{7, 6, 5}));
}

TEST_F(BookRowsTest, GroupTakesAThousandEntriesAndNoMore) {
    sGroup g = group(-1);
    std::vector<int32_t> ids;
    for (int i = 1; i <= kGroupSlots; ++i)
        ids.push_back(i);
    ASSERT_TRUE(WriteGroupSlots(g, ids));
    EXPECT_EQ(g.members[kGroupSlots - 1], kGroupSlots);
    EXPECT_FALSE(AddToFirstFreeSlot(g, 5000));
    ids.push_back(5000);
    EXPECT_FALSE(WriteGroupSlots(g, ids));
    EXPECT_EQ(g.members[0], 1); // a refused write leaves the group as it was
    ASSERT_TRUE(WriteGroupSlots(g, {9, 8}));
    EXPECT_EQ(GroupEntryIds(g), (std::vector<int32_t>{9, 8}));
}

TEST_F(BookRowsTest, ErasingAnEntryClearsItFromEveryGroupFirst) {
    book.putMember(member(1, "a"));
    book.putGroup(group(-2, {{0, 1}, {1, -4}}));
    book.putGroup(group(-3, {{7, -4}, {8, 1}}));
    book.putGroup(group(-4, {{0, 1}}));
    EraseEntry(book, -4);
    EXPECT_EQ(book.GroupMap().count(-4), 0u);
    EXPECT_EQ(GroupEntryIds(book.GroupMap().at(-2)), (std::vector<int32_t>{1}));
    EXPECT_EQ(book.GroupMap().at(-3).members[8], 1); // the other slot stays where it was
    EXPECT_EQ(book.GroupMap().at(-3).members[7], 0);
    EXPECT_EQ(GroupsHolding(book, 1).size(), 2);
    EraseEntry(book, 1);
    EXPECT_TRUE(book.MemberMap().empty());
    EXPECT_TRUE(GroupsHolding(book, 1).isEmpty());
    book.eraseAllGroups();
    EXPECT_TRUE(book.GroupMap().empty());
}
