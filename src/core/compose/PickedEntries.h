#pragma once

#include "core/addressbook/AddressBookRecords.h"
#include "core/addressbook/BookRows.h"
#include "core/compose/RecipientRecords.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <list>
#include <vector>

// What the member picker hands back on OK, worked out from the rows of its right-hand list.
namespace norvi {

// The recipient entry a picked row stands for: an address-book entry (kind 0) with its id, a list-file
// row (kind 1) with its line, or a typed number (kind 2, id 0); the label is the row's caption.
sMtData EntryForRow(const BookRow& row);

struct PickOutcome {
    std::list<sMtData> recipients;   // send mode: every row in order, address-book entries chosen twice once
    std::vector<int32_t> groupIds;   // group mode: the ids to store in the group, in order, each once
    QList<QByteArray> refusedGroups; // group mode: names of the picked groups that contain the edited group
    bool tooMany = false;            // group mode: more than the group's 1,000 slots
};

// Send mode keeps list-file rows and typed numbers where they stand and drops repeated address-book
// entries. Group mode keeps address-book entries only, drops repeats, and leaves out every group that
// is the edited group or contains it (storing it would make the group contain itself).
PickOutcome ResolvePickedRows(const AddressBook& book, const std::vector<BookRow>& rows, bool sendMode,
                              const sGroup* editedGroup);

} // namespace norvi
