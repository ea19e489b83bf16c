#include "core/compose/PickedEntries.h"

#include "core/addressbook/AddressBook.h"
#include "core/shared/FixedField.h"

#include <cstring>
#include <unordered_set>

namespace norvi {

sMtData EntryForRow(const BookRow& row) {
    sMtData entry;
    std::memset(&entry, 0, sizeof entry);
    if (row.isBookEntry()) {
        entry.id = row.id;
        entry.kind = KindAddressBook;
    } else if (row.kind == RowKind::ListFileRow) {
        entry.id = row.id;
        entry.kind = KindListRow;
    } else {
        entry.id = 0;
        entry.kind = KindTyped;
    }
    putBig5CString(entry.label, row.caption);
    return entry;
}

PickOutcome ResolvePickedRows(const AddressBook& book, const std::vector<BookRow>& rows, bool sendMode,
                              const sGroup* editedGroup) {
    PickOutcome outcome;
    std::unordered_set<int32_t> seen;
    for (const BookRow& row : rows) {
        const sMtData entry = EntryForRow(row);
        const bool bookEntry = entry.kind == KindAddressBook;
        if (bookEntry && seen.count(entry.id))
            continue;
        if (sendMode) {
            if (bookEntry)
                seen.insert(entry.id);
            outcome.recipients.push_back(entry);
            continue;
        }
        if (!bookEntry)
            continue; // a group holds members and groups only
        if (entry.id < 0 && editedGroup &&
            (entry.id == editedGroup->id || GroupContains(book, entry.id, editedGroup->id))) {
            outcome.refusedGroups.append(row.caption);
            continue;
        }
        seen.insert(entry.id);
        outcome.groupIds.push_back(entry.id);
    }
    outcome.tooMany = !sendMode && outcome.groupIds.size() > std::size_t(kGroupSlots);
    return outcome;
}

} // namespace norvi
