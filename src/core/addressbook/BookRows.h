#pragma once

#include "core/addressbook/AddressBook.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

// The rows the address book's lists show: the whole book, a group's entries, or a recipient list. The
// windows keep these rows and show them; the order of the rows is worked out here.
namespace norvi {

// What a row stands for. Lists of recipients hold list-file rows and typed numbers besides the book's
// own members and groups.
enum class RowKind : uint8_t { Member, Group, ListFileRow, TypedNumber };

struct BookRow {
    int32_t id = 0; // member id (> 0), group id (< 0), the line of a list-file row, 0 for a typed number
    RowKind kind = RowKind::Member;
    QByteArray caption; // Big5: the name, or the number for a typed number or a list-file row
    QByteArray msisdn;  // the member's number text exactly as stored; empty for every other row
    QByteArray desc;

    bool isBookEntry() const { return kind == RowKind::Member || kind == RowKind::Group; }
    const QByteArray& text(int column) const { return column == 1 ? msisdn : column == 2 ? desc : caption; }
};

BookRow MemberRow(const sMember& member, bool details = true);
BookRow GroupRow(const sGroup& group);

// One row per member in id order, then one per group in id order.
std::vector<BookRow> AllBookRows(const AddressBook& book);
// One row per non-empty slot of the group, in slot order; `details` adds the members' number text and
// description. An id that names no record (a damaged book) gets no row: nothing could be shown or edited
// for it.
std::vector<BookRow> GroupRows(const AddressBook& book, const sGroup& group, bool details);

// Compares two texts byte by byte with only the ASCII letters a to z folded to capitals; every other byte
// compares by its unsigned value. Negative, zero or positive.
int CompareBookText(const QByteArray& a, const QByteArray& b);

// Sorts by column 0 (name), 1 (number text) or 2 (description). Rows that compare equal keep their order.
// SortedOrder gives the old position of each row in the new order.
std::vector<std::size_t> SortedOrder(const std::vector<BookRow>& rows, int column, bool ascending);
void SortBookRows(std::vector<BookRow>& rows, int column, bool ascending);
// Where a row goes in rows already sorted that way: after every row it does not sort before.
std::size_t SortedInsertPosition(const std::vector<BookRow>& rows, const BookRow& row, int column, bool ascending);

} // namespace norvi
