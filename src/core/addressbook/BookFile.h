#pragma once

#include "core/addressbook/AddressBook.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// AddressBook.bin: the book's file, read into an AddressBook and written from one.
namespace norvi {

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

QString AddressBookPath(const QString& startDir); // startDir + "/AddressBook.bin"

// Fills the book from the file. A missing file leaves the book alone. A file that cannot be read leaves it
// alone too, and the next save moves it aside rather than replacing it. A file whose counts do not match its
// length loads its complete records and is also kept aside at the next save, so nothing that was in it is
// lost. A record whose id has the wrong sign for its kind (a member with an id of 0 or less, a group with one
// of 0 or more) is left out of the book, named in the message, and kept in the same way; so is a member or
// group whose name holds a control character, and a number that is not printable ASCII (a member left without
// any number goes as well).
// Without a path, the book's own file.
AddressBookResult LoadAddressBook(AddressBook& book);
AddressBookResult LoadAddressBook(AddressBook& book, const QString& path);

// The same from the file's bytes, which the caller has read.
AddressBookResult ParseAddressBook(AddressBook& book, const QByteArray& data);
// The same from an open file, read a piece at a time, with the SHA-256 of its bytes in `digest`. False
// when reading failed, the book left as it was. `digest` may be null.
bool ReadAddressBookFile(AddressBook& book, int fd, AddressBookResult* result, QByteArray* digest);

// The entries LoadAddressBook would put in a book, members then groups in id order, handed out one by one
// without holding the book when the file is in order, as this program writes it. `before` gets the load's
// result (what a load would say) before any entry; nothing is handed out when the file cannot be read.
AddressBookResult ListAddressBook(const QString& path, const std::function<void(const AddressBookResult&)>& before,
                                  const std::function<void(const sMember&)>& member,
                                  const std::function<void(const sGroup&)>& group);
// The part of the book at `path` that a send to the entries called `names` (Big5, compared trimmed, as
// entriesNamed compares them) reads: every entry of such a name, and every group and member a named group holds,
// however deep, as LoadAddressBook would put them in `book`. The members are read as a stream, twice when a
// named group holds some, and only those are kept; so are the groups, which the members' count dwarfs. A file
// not in id order (not as this program writes it) is loaded whole, which settles its repeated ids as a load
// does. The result and its message are LoadAddressBook's. The book is for reading: it is never saved.
AddressBookResult LoadAddressBookPart(AddressBook& book, const QString& path, const QList<QByteArray>& names);
// The file's bytes for the book as it stands: the counts, the members, then the groups, in id order.
QByteArray AddressBookImage(const AddressBook& book);

// What a load keeps: a name without control characters, a number of printable ASCII. A member or number
// that fails either is left out and the file called damaged, so nothing that makes one is ever stored.
bool IsRealName(const QByteArray& name);
bool IsRealNumber(const QByteArray& number);

// Writes the book whole, replacing the file atomically.
AddressBookResult SaveAddressBook(AddressBook& book);
AddressBookResult SaveAddressBook(AddressBook& book, const QString& path);
// Whether the book holds changes its last save could not write (the file locked by another program, a full
// disk): they are written by the next save that succeeds, and lost if the program ends before it.
bool AddressBookUnsaved(AddressBook& book);

} // namespace norvi
