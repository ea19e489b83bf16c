#include "core/compose/PickedEntries.h"
#include "core/addressbook/BookFile.h"
#include "core/shared/FixedField.h"
#include "support/BookRecords.h"

#include <gtest/gtest.h>

using namespace norvi;
using test::group;
using test::member;

namespace {

class PickedEntriesTest : public ::testing::Test {
protected:
    AddressBook book;
    static BookRow row(int32_t id, RowKind kind, const QByteArray& caption) {
        BookRow r;
        r.id = id;
        r.kind = kind;
        r.caption = caption;
        return r;
    }
};

} // namespace

TEST_F(PickedEntriesTest, SendModeKeepsListRowsAndTypedNumbersInPlaceAndDropsRepeatedEntries) {
    const std::vector<BookRow> rows = {
        row(5, RowKind::Member, "Ann"), row(3, RowKind::ListFileRow, "0911"),    row(-2, RowKind::Group, "G"),
        row(5, RowKind::Member, "Ann"), row(0, RowKind::TypedNumber, "+886922"), row(3, RowKind::ListFileRow, "0911")};
    const PickOutcome out = ResolvePickedRows(book, rows, true, nullptr);
    ASSERT_EQ(out.recipients.size(), 5u);
    auto it = out.recipients.begin();
    EXPECT_EQ(it->id, 5);
    EXPECT_EQ(it->kind, KindAddressBook);
    EXPECT_EQ(getField(it->label), "Ann");
    ++it;
    EXPECT_EQ(it->kind, KindListRow);
    EXPECT_EQ(it->id, 3);
    ++it;
    EXPECT_EQ(it->id, -2);
    ++it;
    EXPECT_EQ(it->kind, KindTyped);
    EXPECT_EQ(it->id, 0);
    EXPECT_EQ(getField(it->label), "+886922");
    ++it;
    EXPECT_EQ(it->kind, KindListRow); // list rows are never filtered here
    EXPECT_TRUE(out.groupIds.empty());
}

// A name may fill its 100 bytes; a label keeps 99, so the last character is left out whole: half of it showed
// in the recipient field as a character without a Big5 form, which the send then refused.
TEST_F(PickedEntriesTest, AFullLengthNameIsCutBetweenCharacters) {
    const PickOutcome out = ResolvePickedRows(book, {row(5, RowKind::Member, big5("許").repeated(50))}, true, nullptr);
    ASSERT_EQ(out.recipients.size(), 1u);
    EXPECT_EQ(getField(out.recipients.front().label), big5("許").repeated(49));
}

TEST_F(PickedEntriesTest, GroupModeRefusesEveryGroupThatReachesTheEditedGroup) {
    // P holds Q (in its second slot), Q holds R; R is edited. S holds only a member.
    book.putGroup(group(-1, {{0, 7}, {1, -2}})); // P
    book.putGroup(group(-2, {{0, -3}}));         // Q
    book.putGroup(group(-3));                    // R
    book.putGroup(group(-4, {{0, 7}}));          // S
    const std::vector<BookRow> rows = {row(-1, RowKind::Group, "P"), row(-4, RowKind::Group, "S"),
                                       row(-3, RowKind::Group, "R"), row(7, RowKind::Member, "m"),
                                       row(7, RowKind::Member, "m")};
    const PickOutcome out = ResolvePickedRows(book, rows, false, &book.GroupMap().at(-3));
    EXPECT_EQ(out.refusedGroups, (QList<QByteArray>{"P", "R"}));
    EXPECT_EQ(out.groupIds, (std::vector<int32_t>{-4, 7}));
    EXPECT_FALSE(out.tooMany);
    // A new group (none edited yet) can take any group.
    EXPECT_TRUE(ResolvePickedRows(book, rows, false, nullptr).refusedGroups.isEmpty());
}

TEST_F(PickedEntriesTest, GroupModeTakesAThousandDistinctEntriesAndRefusesMore) {
    std::vector<BookRow> rows;
    for (int i = 1; i <= kGroupSlots; ++i)
        rows.push_back(row(i, RowKind::Member, "m"));
    rows.push_back(row(1, RowKind::Member, "m")); // a repeat does not count
    EXPECT_FALSE(ResolvePickedRows(book, rows, false, nullptr).tooMany);
    rows.push_back(row(kGroupSlots + 1, RowKind::Member, "m"));
    const PickOutcome out = ResolvePickedRows(book, rows, false, nullptr);
    EXPECT_TRUE(out.tooMany);
    // Send mode has no such limit.
    EXPECT_EQ(ResolvePickedRows(book, rows, true, nullptr).recipients.size(), std::size_t(kGroupSlots + 1));
}
