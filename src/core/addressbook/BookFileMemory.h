#pragma once

#include "core/shared/FileLock.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// What an AddressBook remembers of the file it is read from and saved to, so it lives and ends with the
// book: kept by the book's file code (BookFile, BookGuard), not by its users.
namespace norvi {

// One entry as it was read: its id and a digest of its record (two independent 64-bit hashes of its
// bytes), which tells whether a side changed the entry since without keeping the record itself: a book of
// a million members keeps 24 MB here instead of the file's 424 MB.
struct EntryDigest {
    int32_t id = 0;
    quint64 a = 0;
    quint64 b = 0;
    bool operator==(const EntryDigest& o) const { return id == o.id && a == o.a && b == o.b; }
};
using Digests = std::vector<EntryDigest>; // in id order

struct BookFileMemory {
    // What was read or written last: the file's name, size, time and SHA-256, and each entry's digest.
    struct AsRead {
        QString path;
        bool known = false; // the file was read (or written) by this book
        bool existed = false;
        qint64 size = 0;
        qint64 modified = 0;
        QByteArray hash;
        Digests members;
        Digests groups;
    } asRead;

    // A file that was not read whole must not be replaced by the next save: it is moved aside first.
    struct PendingAside {
        QString path;
        bool unreadable = false; // could not be opened or read, as opposed to read in part
    } pendingAside;

    // The last save did not reach the file: the book in memory holds changes the file lacks.
    bool unsaved = false;

    // LockAddressBook's lock, for a whole read, change and write; or a save's own while it lasts.
    std::unique_ptr<FileLock> heldLock;
};

} // namespace norvi
