#include "core/addressbook/BookGuard.h"

#include "core/addressbook/BookFile.h"
#include "core/addressbook/BookFileMemory.h"
#include "core/shared/Clock.h"
#include "core/shared/FileLock.h"
#include "core/shared/InputFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace norvi {

namespace {

template <typename R> EntryDigest digestOf(const R& record) {
    constexpr std::size_t kSeedA = 0x9E3779B97F4A7C15ULL;
    constexpr std::size_t kSeedB = 0xC2B2AE3D27D4EB4FULL;
    return {record.id, quint64(qHashBits(&record, sizeof record, kSeedA)),
            quint64(qHashBits(&record, sizeof record, kSeedB))};
}

template <typename R> Digests digestsOf(const std::map<int32_t, R>& entries) {
    Digests digests;
    digests.reserve(entries.size());
    for (const auto& entry : entries)
        digests.push_back(digestOf(entry.second));
    return digests;
}

const EntryDigest* findDigest(const Digests& digests, int32_t id) {
    const auto it = std::lower_bound(digests.begin(), digests.end(), id,
                                     [](const EntryDigest& d, int32_t wanted) { return d.id < wanted; });
    return it != digests.end() && it->id == id ? &*it : nullptr;
}

qint64 modifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void rememberStamp(BookFileMemory::AsRead& asRead, const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        asRead.size = st.st_size;
        asRead.modified = modifiedNs(st);
    }
}

void remember(const QString& path, AddressBook& book, const QByteArray& hash, bool existed) {
    BookFileMemory::AsRead& asRead = book.fileMemory().asRead;
    asRead.path = path;
    asRead.known = true;
    asRead.existed = existed;
    asRead.hash = hash;
    asRead.members = digestsOf(book.MemberMap());
    asRead.groups = digestsOf(book.GroupMap());
    rememberStamp(asRead, path);
}

// The SHA-256 of an open file, read a piece at a time; empty when it cannot be read.
QByteArray fileHash(int fd) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(qsizetype(1024) * 1024, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), std::size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QByteArray();
        if (n == 0)
            return hash.result();
        hash.addData(QByteArrayView(chunk.constData(), qsizetype(n)));
    }
}

struct BookMaps {
    std::map<int32_t, sMember> members;
    std::map<int32_t, sGroup> groups;
};

struct BaseDigests {
    const Digests* members;
    const Digests* groups;
};

template <typename R> bool same(const R* a, const R* b) {
    if (!a || !b)
        return a == b;
    return std::memcmp(a, b, sizeof(R)) == 0;
}

template <typename R> bool sameAsBase(const R* record, const EntryDigest* base) {
    if (!record || !base)
        return !record && !base;
    return digestOf(*record) == *base;
}

template <typename R> const R* find(const std::map<int32_t, R>& m, int32_t id) {
    const auto it = m.find(id);
    return it == m.end() ? nullptr : &it->second;
}

// An id no side uses, next to `id` in the direction its kind counts.
template <typename R>
int32_t freeId(int32_t id, const Digests& a, const std::map<int32_t, R>& b, const std::map<int32_t, R>& c) {
    const int32_t step = id > 0 ? 1 : -1;
    int32_t next = id;
    do
        next += step;
    while (findDigest(a, next) || b.count(next) || c.count(next));
    return next;
}

// The entries of one kind (members or groups) that both sides added under the same id: this program's gets a
// new id, noted in `moved`.
template <typename R>
void moveNewIds(const Digests& base, std::map<int32_t, R>& ours, const std::map<int32_t, R>& theirs,
                std::map<int32_t, int32_t>& moved) {
    for (auto it = ours.begin(); it != ours.end();) {
        const R* t = find(theirs, it->first);
        if (!findDigest(base, it->first) && t && !same(&it->second, t)) {
            R entry = it->second;
            entry.id = freeId(it->first, base, ours, theirs);
            moved[it->first] = entry.id;
            it = ours.erase(it);
            ours[entry.id] = entry;
        } else {
            ++it;
        }
    }
}

// An entry both sides added under the same id (two programs creating one in the same second) is two
// entries: this program's gets a new id, and its groups follow.
void separateNewIds(const BaseDigests& base, BookMaps& ours, const BookMaps& theirs) {
    std::map<int32_t, int32_t> moved;
    moveNewIds(*base.members, ours.members, theirs.members, moved);
    moveNewIds(*base.groups, ours.groups, theirs.groups, moved);
    if (moved.empty())
        return;
    for (auto& [id, group] : ours.groups)
        for (int32_t& slot : group.members)
            if (const auto m = moved.find(slot); m != moved.end())
                slot = m->second;
}

// Per entry: the side that changed it wins; when both changed it differently, this program's version.
template <typename R>
std::map<int32_t, R> merge(const Digests& base, const std::map<int32_t, R>& ours, const std::map<int32_t, R>& theirs,
                           int* conflicts) {
    std::set<int32_t> ids;
    for (const EntryDigest& entry : base)
        ids.insert(entry.id);
    for (const auto* m : {&ours, &theirs})
        for (const auto& entry : *m)
            ids.insert(entry.first);
    std::map<int32_t, R> merged;
    for (const int32_t id : ids) {
        const EntryDigest* b = findDigest(base, id);
        const R* o = find(ours, id);
        const R* t = find(theirs, id);
        const R* kept = o;
        if (sameAsBase(o, b))
            kept = t;
        else if (!sameAsBase(t, b) && !same(o, t))
            ++*conflicts;
        if (kept)
            merged[id] = *kept;
    }
    return merged;
}

QString keepChangedFile(const QString& path) {
    const QString base = path + QStringLiteral(".changed-") + Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return QFile::copy(path, name) ? name : QString();
}

} // namespace

void RememberBookAsRead(const QString& path, AddressBook& book, const QByteArray& hash) {
    remember(path, book, hash, true);
}

bool LockAddressBook(AddressBook& book, const std::function<void(const QString& holder)>& waiting, QString* error) {
    auto lock = std::make_unique<FileLock>(book.filePath());
    if (!lock->lock(waiting)) {
        if (error)
            *error = lock->error();
        return false;
    }
    book.fileMemory().heldLock = std::move(lock);
    return true;
}

BookWriteGuard::BookWriteGuard(AddressBook& book, const QString& path)
    : m_book(book), m_memory(book.fileMemory()), m_path(path) {}

BookWriteGuard::~BookWriteGuard() {
    if (m_ownLock)
        m_memory.heldLock.reset();
}

BookCheck BookWriteGuard::begin() {
    BookCheck check;
    if (!m_memory.heldLock) {
        auto lock = std::make_unique<FileLock>(m_path);
        if (!lock->tryLock()) {
            check.ok = false;
            check.message =
                lock->error().isEmpty()
                    ? QStringLiteral("通訊錄檔案正由%1使用中，這次的變更尚未寫入檔案；下次變更時會一併寫入。")
                          .arg(lock->holder().isEmpty() ? QStringLiteral("另一個程式")
                                                        : QStringLiteral(" %1 ").arg(lock->holder()))
                    : lock->error();
            return check;
        }
        m_memory.heldLock = std::move(lock);
        m_ownLock = true;
    }

    // Still what this program read: the same size and time, and the same bytes (a time may not change
    // within its granularity; bytes put back as they were are no change). The bytes are compared by their
    // hash, read a piece at a time; the file is only read whole into entries when it changed.
    const bool exists = QFileInfo(m_path).isFile();
    const BookFileMemory::AsRead& read = m_memory.asRead;
    const bool asRead = read.known && read.path == m_path;
    if (!exists && (!asRead || !read.existed))
        return check; // nothing there, nothing read: a new book
    AddressBook theirsBook;
    if (exists) {
        // A file that cannot be read is not merged but kept aside by the save, as at any other time.
        const int fd = OpenInputFile(m_path, nullptr);
        if (fd < 0)
            return check;
        const QByteArray now = fileHash(fd);
        struct stat st {};
        const bool sameStamp = ::fstat(fd, &st) == 0 && st.st_size == read.size && modifiedNs(st) == read.modified;
        if (now.isEmpty()) {
            ::close(fd);
            return check;
        }
        if (asRead && read.existed && now == read.hash) {
            ::close(fd);
            if (!sameStamp)
                rememberStamp(m_memory.asRead, m_path); // touched, not changed
            return check;
        }
        AddressBookResult read;
        const bool whole = ::lseek(fd, 0, SEEK_SET) == 0 && ReadAddressBookFile(theirsBook, fd, &read, nullptr);
        ::close(fd);
        if (!whole)
            return check;
    }

    // Changed under this program: its own changes are made again to the book as it is now.
    const Digests none;
    const BaseDigests base{asRead ? &read.members : &none, asRead ? &read.groups : &none};
    BookMaps theirs{theirsBook.MemberMap(), theirsBook.GroupMap()};
    theirsBook.clear();
    BookMaps ours{m_book.MemberMap(), m_book.GroupMap()};
    separateNewIds(base, ours, theirs);
    int conflicts = 0;
    auto members = merge(*base.members, ours.members, theirs.members, &conflicts);
    auto groups = merge(*base.groups, ours.groups, theirs.groups, &conflicts);
    m_book.replace(std::move(members), std::move(groups));
    check.reloaded = true;
    check.message = QStringLiteral("通訊錄檔案已被其他程式變更，已重新載入並套用您的變更。");
    if (conflicts > 0 && exists) {
        check.keptAs = keepChangedFile(m_path);
        check.message += QStringLiteral("\n有 %1 筆在兩邊都被修改，保留了您的版本；另一個版本另存為：%2")
                             .arg(conflicts)
                             .arg(check.keptAs);
    }
    return check;
}

void BookWriteGuard::written(const QByteArray& bytes) {
    remember(m_path, m_book, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256), true);
}

} // namespace norvi
