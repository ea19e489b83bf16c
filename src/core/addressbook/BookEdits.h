#pragma once

#include "core/addressbook/AddressBook.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <vector>

// The changes the address book windows make to the book. Each keeps the book's rules: no id
// is left in a group after its record is erased, and no group holds more than its 1,000 slots.
namespace norvi {

// Puts `id` into the first empty slot; false when all 1,000 slots are taken (the group is unchanged).
bool AddToFirstFreeSlot(sGroup& group, int32_t id);
// Clears the first slot that holds `id`; the other slots keep their places. False when none holds it.
bool ClearFirstSlot(sGroup& group, int32_t id);
// The ids of the non-empty slots, in slot order.
std::vector<int32_t> GroupEntryIds(const sGroup& group);
// Writes `ids` into slots 0, 1, 2, ... and empties the rest. False, with the group unchanged, when there
// are more ids than slots.
bool WriteGroupSlots(sGroup& group, const std::vector<int32_t>& ids);

// Erases a member (id > 0) or a group (id < 0) after clearing its id from every group.
void EraseEntry(AddressBook& book, int32_t id);

// The names of the groups that hold `id` in one of their own slots (not through a sub-group).
QList<QByteArray> GroupsHolding(const AddressBook& book, int32_t id);

// The numbers of a member while it is edited: the order entered and which one is the default.
class NumberList {
public:
    NumberList() = default;
    explicit NumberList(const QByteArray& stored); // the member's stored number text

    int count() const { return int(m_numbers.size()); }
    const QByteArray& at(int row) const { return m_numbers.at(row); }
    int defaultRow() const { return m_default; } // -1 only when the list is empty

    // A number added to an empty list becomes the default; otherwise the default stays where it is.
    void add(const QByteArray& number);
    void replace(int row, const QByteArray& number);
    void setDefault(int row);
    // Removes the rows given (any order). The default stays on its number when that row is kept;
    // otherwise the first remaining row becomes the default.
    void remove(QList<int> rows);

    // The text to store: the numbers in order joined by ";", the default marked with "@" when there are
    // two or more; a lone number stands bare.
    QByteArray storedText() const;

private:
    QList<QByteArray> m_numbers;
    int m_default = -1;
};

} // namespace norvi
