#pragma once

#include "core/addressbook/AddressBookRecords.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// The address book in memory: its members and groups, the rules that keep them consistent, and the lookup of
// entries by name. Whoever needs the book is handed one (the window set and each norvi-cli command own
// theirs); changed() tells whoever follows it that it changed.
namespace norvi {

enum class EntryKind { Member, Group };

struct BookFileMemory;

// An entry found by its name: `member` tells which map holds it, since a damaged book may hold a record
// whose id has the sign of the other kind.
struct NamedId {
    int32_t id;
    bool member;
};

class AddressBook : public QObject {
    Q_OBJECT
public:
    explicit AddressBook(QObject* parent = nullptr);
    ~AddressBook() override;

    // The file the book is read from and saved to (AddressBook.bin in the start folder); empty for a book
    // that belongs to no file.
    const QString& filePath() const { return m_filePath; }
    void setFilePath(const QString& path) { m_filePath = path; }
    // What this book remembers of its file (the bytes last read or written, a file to keep aside, the lock a
    // whole read, change and write holds), for the book's file code (BookFile, BookGuard) alone.
    BookFileMemory& fileMemory();

    const std::map<int32_t, sMember>& MemberMap() const { return m_members; }
    const std::map<int32_t, sGroup>& GroupMap() const { return m_groups; }
    const sMember* member(int32_t id) const;
    const sGroup* group(int32_t id) const;

    // Stores the record under its own id, replacing the one with that id; the stored copy is returned.
    const sMember& putMember(const sMember& member);
    const sGroup& putGroup(const sGroup& group);
    bool eraseMember(int32_t id);
    bool eraseGroup(int32_t id);
    void eraseAllGroups();
    // Clears the first slot holding `id` in every group, before that member or group is erased.
    void detachFromGroups(int32_t id);
    // The whole book at once (a load, or a merge with the file as another program left it).
    void replace(std::map<int32_t, sMember> members, std::map<int32_t, sGroup> groups);
    void clear();

    // The entries whose stored name, trimmed, equals `name` trimmed (Big5, byte for byte): members first in
    // id order, then groups from the id nearest zero, the order in which each kind was created. Nothing for
    // a name that is empty after trimming. Call it on the thread that changes the book: the index it reads
    // is built on first use after a change.
    std::vector<NamedId> entriesNamed(const QByteArray& name) const;

signals:
    // After every change of a member or group, whoever made it.
    void changed();

private:
    // One entry of the name index: a chain per bucket of the trimmed name's hash, through `next`.
    struct NameKey {
        uint32_t hash;
        int32_t id;
        int32_t next; // the next entry of the bucket, -1 at its end
        bool group;
    };
    void nameMayChange();
    void buildNameIndex() const;

    QString m_filePath;
    std::unique_ptr<BookFileMemory> m_fileMemory; // made when the book first meets a file
    std::map<int32_t, sMember> m_members;
    std::map<int32_t, sGroup> m_groups;
    // Every entry by the hash of its trimmed name, built in one pass over the book when a lookup finds it
    // stale: a lookup then reads one short chain instead of every record.
    mutable std::vector<int32_t> m_nameBuckets; // the first entry of each bucket, -1 for none
    mutable std::vector<NameKey> m_nameIndex;
    mutable bool m_nameIndexStale = true;
};

// The first free id from `start` upward (members, start = now in seconds) or downward (groups,
// start = minus now in seconds).
int32_t NewEntryId(const AddressBook& book, EntryKind kind, int64_t start);

// The start value for an id created now: the current time in seconds, negated for a group.
int64_t EntryIdStart(EntryKind kind);

// Hands out the same ids as NewEntryId for a batch whose every id is inserted before the next one is
// asked for, without scanning the run of ids already given within the same second again.
class EntryIdAllocator {
public:
    EntryIdAllocator(const AddressBook& book, EntryKind kind) : m_book(book), m_kind(kind) {}
    int32_t next(int64_t start);

private:
    const AddressBook& m_book;
    EntryKind m_kind;
    bool m_active = false;
    int64_t m_runStart = 0; // every id from here to m_last is taken
    int64_t m_last = 0;
};

// True when `id` is in the group directly or through any chain of sub-groups. Adding group X to
// group G would make a cycle exactly when X == G or GroupContains(book, X, G).
bool GroupContains(const AddressBook& book, int32_t groupId, int32_t id);

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
