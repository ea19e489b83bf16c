#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/compose/RecipientRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Naming address-book entries by their name, as a front end without the member picker does.
namespace norvi {

// The ids of the members (positive) and groups (negative) whose stored name equals `name` (Big5,
// compared byte for byte after trimming both), members first, each in id order.
QList<int32_t> FindEntriesByName(const AddressBook& book, const QByteArray& name);

struct NamedEntry {
    bool ok = false;
    QString error; // why the name does not name exactly one entry
    sMtData entry{};
};

// The recipient entry for the one member or group called `name`: kind 0 with its id and name as
// label. A name that matches nothing, or several entries, is refused rather than guessed, so a
// message never goes to someone the user did not mean; so is an entry whose id has the wrong sign for
// its kind or is shared with an entry of the other kind (a damaged book), naming that record.
NamedEntry RecipientEntryForName(const AddressBook& book, const QByteArray& name);

// The recipient entry of a typed number: kind 2, id 0, the number as label.
sMtData TypedNumberEntry(const QByteArray& number);

} // namespace norvi
