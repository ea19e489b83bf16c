#include "core/addressbook/BookGuard.h"

#include "core/addressbook/BookFile.h"
#include "core/shared/Clock.h"
#include "core/shared/FileLock.h"
#include "core/shared/InputFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace norvi {

namespace {

// What was read or written last, per book file.
struct AsRead {
    QString path;
    bool known = false; // the file was read (or written) by this program
    bool existed = false;
    qint64 size = 0;
    qint64 modified = 0;
    QByteArray hash;
    QByteArray bytes;
};
AsRead g_asRead;

std::unique_ptr<FileLock> g_heldLock; // LockAddressBook's, for a whole read, change and write

qint64 modifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

QByteArray hashOf(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

void remember(const QString& path, const QByteArray& bytes, bool existed) {
    g_asRead.path = path;
    g_asRead.known = true;
    g_asRead.existed = existed;
    g_asRead.bytes = bytes;
    g_asRead.hash = hashOf(bytes);
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        g_asRead.size = st.st_size;
        g_asRead.modified = modifiedNs(st);
    }
}

struct BookMaps {
    std::map<int32_t, sMember> members;
    std::map<int32_t, sGroup> groups;
};

// The entries a file's bytes hold, without touching the book in memory.
BookMaps parse(const QByteArray& bytes) {
    AddressBook scratch;
    if (!bytes.isEmpty())
        ParseAddressBook(scratch, bytes);
    return {scratch.MemberMap(), scratch.GroupMap()};
}

template <typename R> bool same(const R* a, const R* b) {
    if (!a || !b)
        return a == b;
    return std::memcmp(a, b, sizeof(R)) == 0;
}

template <typename R> const R* find(const std::map<int32_t, R>& m, int32_t id) {
    const auto it = m.find(id);
    return it == m.end() ? nullptr : &it->second;
}

// An id no side uses, next to `id` in the direction its kind counts.
template <typename R>
int32_t freeId(int32_t id, const std::map<int32_t, R>& a, const std::map<int32_t, R>& b,
               const std::map<int32_t, R>& c) {
    const int32_t step = id > 0 ? 1 : -1;
    int32_t next = id;
    do
        next += step;
    while (a.count(next) || b.count(next) || c.count(next));
    return next;
}

// An entry both sides added under the same id (two programs creating one in the same second) is two
// entries: this program's gets a new id, and its groups follow.
void separateNewIds(const BookMaps& base, BookMaps& ours, const BookMaps& theirs) {
    std::map<int32_t, int32_t> moved;
    for (auto it = ours.members.begin(); it != ours.members.end();) {
        const sMember* t = find(theirs.members, it->first);
        if (!base.members.count(it->first) && t && !same(&it->second, t)) {
            sMember m = it->second;
            m.id = freeId(it->first, base.members, ours.members, theirs.members);
            moved[it->first] = m.id;
            it = ours.members.erase(it);
            ours.members[m.id] = m;
        } else {
            ++it;
        }
    }
    for (auto it = ours.groups.begin(); it != ours.groups.end();) {
        const sGroup* t = find(theirs.groups, it->first);
        if (!base.groups.count(it->first) && t && !same(&it->second, t)) {
            sGroup g = it->second;
            g.id = freeId(it->first, base.groups, ours.groups, theirs.groups);
            moved[it->first] = g.id;
            it = ours.groups.erase(it);
            ours.groups[g.id] = g;
        } else {
            ++it;
        }
    }
    if (moved.empty())
        return;
    for (auto& [id, group] : ours.groups)
        for (int32_t& slot : group.members)
            if (const auto m = moved.find(slot); m != moved.end())
                slot = m->second;
}

// Per entry: the side that changed it wins; when both changed it differently, this program's version.
template <typename R>
std::map<int32_t, R> merge(const std::map<int32_t, R>& base, const std::map<int32_t, R>& ours,
                           const std::map<int32_t, R>& theirs, int* conflicts) {
    std::set<int32_t> ids;
    for (const auto* m : {&base, &ours, &theirs})
        for (const auto& entry : *m)
            ids.insert(entry.first);
    std::map<int32_t, R> merged;
    for (const int32_t id : ids) {
        const R* b = find(base, id);
        const R* o = find(ours, id);
        const R* t = find(theirs, id);
        const R* kept = o;
        if (same(o, b))
            kept = t;
        else if (!same(t, b) && !same(o, t))
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

void RememberBookAsRead(const QString& path, const QByteArray& bytes) {
    remember(path, bytes, true);
}

bool LockAddressBook(const QString& path, const std::function<void(const QString& holder)>& waiting, QString* error) {
    auto lock = std::make_unique<FileLock>(path);
    if (!lock->lock(waiting)) {
        if (error)
            *error = lock->error();
        return false;
    }
    g_heldLock = std::move(lock);
    return true;
}

void UnlockAddressBook() {
    g_heldLock.reset();
}

BookWriteGuard::BookWriteGuard(AddressBook& book, const QString& path) : m_book(book), m_path(path) {}

BookWriteGuard::~BookWriteGuard() {
    if (m_ownLock)
        g_heldLock.reset();
}

BookCheck BookWriteGuard::begin() {
    BookCheck check;
    if (!g_heldLock) {
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
        g_heldLock = std::move(lock);
        m_ownLock = true;
    }

    // Still what this program read: the same size and time, and the same bytes (a time may not change
    // within its granularity; bytes put back as they were are no change).
    QFile file;
    const bool exists = QFileInfo(m_path).isFile();
    const bool asRead = g_asRead.known && g_asRead.path == m_path;
    if (!exists && (!asRead || !g_asRead.existed))
        return check; // nothing there, nothing read: a new book
    QByteArray now;
    if (exists) {
        // A file that cannot be read is not merged but kept aside by the save, as at any other time.
        const int fd = OpenInputFile(m_path, nullptr);
        if (fd < 0)
            return check;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return check;
        }
        now = file.readAll();
    }
    struct stat st {};
    const bool sameStamp = exists && ::stat(QFile::encodeName(m_path).constData(), &st) == 0 &&
                           st.st_size == g_asRead.size && modifiedNs(st) == g_asRead.modified;
    if (asRead && exists == g_asRead.existed && hashOf(now) == g_asRead.hash) {
        if (!sameStamp)
            remember(m_path, now, exists); // touched, not changed
        return check;
    }

    // Changed under this program: its own changes are made again to the book as it is now.
    BookMaps base = parse(asRead ? g_asRead.bytes : QByteArray());
    BookMaps theirs = parse(now);
    BookMaps ours{m_book.MemberMap(), m_book.GroupMap()};
    separateNewIds(base, ours, theirs);
    int conflicts = 0;
    auto members = merge(base.members, ours.members, theirs.members, &conflicts);
    auto groups = merge(base.groups, ours.groups, theirs.groups, &conflicts);
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
    remember(m_path, bytes, true);
}

} // namespace norvi
