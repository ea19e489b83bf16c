#pragma once

#include "core/addressbook/AddressBookRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// The address book's logic on the process-wide MemberMap and GroupMap: id allocation, group
// membership, the AddressBook.bin file and the member's number list. Windows show the results.
namespace norvi {

enum class EntryKind { Member, Group };

// The first free id from `start` upward (members, start = now in seconds) or downward (groups,
// start = minus now in seconds).
int32_t NewEntryId(EntryKind kind, int64_t start);

// The start value for an id created now: the current time in seconds, negated for a group.
int64_t EntryIdStart(EntryKind kind);

// Hands out the same ids as NewEntryId for a batch whose every id is inserted before the next one is
// asked for, without scanning the run of ids already given within the same second again.
class EntryIdAllocator {
public:
    explicit EntryIdAllocator(EntryKind kind) : m_kind(kind) {}
    int32_t next(int64_t start);

private:
    EntryKind m_kind;
    bool m_active = false;
    int64_t m_runStart = 0; // every id from here to m_last is taken
    int64_t m_last = 0;
};

// Clears the first slot holding `id` in every group, before that member or group is erased.
void DetachFromGroups(int32_t id);

// True when `id` is in the group directly or through any chain of sub-groups. Adding group X to
// group G would make a cycle exactly when X == G or GroupContains(X, G).
bool GroupContains(int32_t groupId, int32_t id);

// The outcome of a load or save, for the window to show. `ok` false: an error box with `message`.
// `ok` true with a message: a notice (a damaged file was read in part, or kept aside before saving).
struct AddressBookResult {
    bool ok = true;
    QString message;
    int membersRead = 0;
    int groupsRead = 0;
    bool damaged = false;
    QString keptAs;        // where a damaged or unreadable file was moved before this save replaced it
    bool reloaded = false; // the file had been changed by another program: its entries were read again
};

QString AddressBookPath(); // StartDir + "/AddressBook.bin"

// Fills MemberMap and GroupMap from the file. A missing file leaves the maps alone. A file that cannot
// be read leaves them alone too, and the next save moves it aside rather than replacing it. A file
// whose counts do not match its length loads its complete records and is also kept aside at the next
// save, so nothing that was in it is lost. A record whose id has the wrong sign for its kind (a member
// with an id of 0 or less, a group with one of 0 or more) is left out of the maps, named in the message,
// and kept in the same way; so is a member or group whose name holds a control character, and a number
// that is not printable ASCII (a member left without any number goes as well).
AddressBookResult LoadAddressBook();
AddressBookResult LoadAddressBook(const QString& path);

// The same from the file's bytes, which the caller has read.
AddressBookResult ParseAddressBook(const QByteArray& data);
// The file's bytes for both maps as they stand: the counts, the members, then the groups, in id order.
QByteArray AddressBookImage();

// Writes both maps whole, replacing the file atomically.
AddressBookResult SaveAddressBook();
AddressBookResult SaveAddressBook(const QString& path);

// A member's numbers: the order entered and which one is the default (-1 when there is none).
struct MsisdnNumbers {
    QList<QByteArray> numbers;
    int defaultIndex = -1;
};

// Splits at ";", ignoring empty pieces; a piece with a leading "@" is the default, else the first.
MsisdnNumbers SplitMsisdn(const QByteArray& msisdn);
QByteArray MsisdnDefault(const QByteArray& msisdn);
// One number is stored bare; with two or more, the default carries a leading "@".
QByteArray JoinMsisdn(const QList<QByteArray>& numbers, int defaultIndex);

} // namespace norvi
