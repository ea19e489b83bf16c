#pragma once

#include "core/addressbook/AddressBook.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Two programs on one AddressBook.bin (the desktop program with the book open, norvi-cli book import):
// each change is read, made and written under a lock, and a program never replaces the file with its own
// copy when somebody changed the file since it read it.
namespace norvi {

// What LoadAddressBook read: the file's size, time and SHA-256 (`hash`), and a digest of each entry of the
// book as read, which the next save compares with the file and with the book.
void RememberBookAsRead(const QString& path, AddressBook& book, const QByteArray& hash);

// Takes the lock of the book's file (AddressBook.bin.lock) for a whole read, change and write (norvi-cli
// book import), waiting while another program holds it; `waiting` runs once if it has to wait, with who
// holds it. Saves of this book made meanwhile take no lock of their own; the lock goes with the book.
// False with `error` when the lock file cannot be made.
bool LockAddressBook(AddressBook& book, const std::function<void(const QString& holder)>& waiting, QString* error);

// What a save found before it replaced the file.
struct BookCheck {
    bool ok = true;        // the save may go on (the lock is held until the guard goes)
    QString message;       // why not, or what was done about a file changed meanwhile
    bool reloaded = false; // the file had changed: the book now holds its entries with this program's changes
    QString keptAs;        // the changed file, kept because some of its entries were changed here too
};

// Held by a save from its start to its end: the lock (taken without waiting; a program that holds it is
// named), and the check that the file is still what this program read. When it is not, the book on disk
// is read again and this program's own changes (what differs from what it read) are made to it, in the
// book being saved: an entry changed on both sides keeps this program's version, and the file as it
// was is kept beside the book (AddressBook.bin.changed-<time>), so nothing is overwritten silently.
class BookWriteGuard {
public:
    BookWriteGuard(AddressBook& book, const QString& path);
    ~BookWriteGuard();
    BookWriteGuard(const BookWriteGuard&) = delete;
    BookWriteGuard& operator=(const BookWriteGuard&) = delete;

    BookCheck begin();
    // The bytes just written (the book's image), which the next save compares with the file.
    void written(const QByteArray& bytes);

private:
    AddressBook& m_book;
    BookFileMemory& m_memory;
    QString m_path;
    bool m_ownLock = false;
};

} // namespace norvi
