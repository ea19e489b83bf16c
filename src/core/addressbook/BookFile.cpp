#include "core/addressbook/BookFile.h"

#include "core/addressbook/BookFileMemory.h"
#include "core/addressbook/BookGuard.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"
#include "core/shared/SaveFile.h"
#include "core/shared/ShownText.h"
#include "core/shared/SystemErrorText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <utility>

namespace norvi {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kMemberSize = sizeof(sMember);
constexpr qint64 kGroupSize = sizeof(sGroup);
constexpr qsizetype kReadPiece = qsizetype(1024) * 1024;

QString readFailedText() {
    return QStringLiteral("讀取通訊錄檔案失敗！");
}
QString writeFailedText() {
    return QStringLiteral("寫入通訊錄檔案失敗！");
}

int32_t readInt32(const char* p) {
    return qFromLittleEndian<qint32>(p);
}

QString asideName(const QString& path) {
    const QString base = path + QStringLiteral(".damaged-") + Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return name;
}

// Moves the file that was not read whole out of the way; false when it stays where the save would
// overwrite it.
bool moveAside(const QString& path, QString& keptAs) {
    if (!QFileInfo::exists(path))
        return true; // gone already; nothing left to protect
    const QString target = asideName(path);
    if (QFile::rename(path, target) || QFile::copy(path, target)) {
        keptAs = target;
        return true;
    }
    return false;
}

QString keptAsideText() {
    return QStringLiteral("原檔案將在下次儲存通訊錄前另存備份，不會被覆寫。");
}

QString damagedText(int32_t m, int32_t g, qint64 size, int membersRead, int groupsRead) {
    const QString tail = keptAsideText();
    if (size < kHeaderSize)
        return QStringLiteral("通訊錄檔案已損壞（長度只有 %1 位元組），只讀到 0 位成員、0 個群組。").arg(size) + tail;
    const qint64 expected = kHeaderSize + kMemberSize * qint64(m) + kGroupSize * qint64(g);
    if (m >= 0 && g >= 0 && size > expected)
        return QStringLiteral("通訊錄檔案已損壞（結尾多出 %1 位元組無法辨識的資料），已讀到 %2 位成員、%3 個群組。")
                   .arg(size - expected)
                   .arg(membersRead)
                   .arg(groupsRead) +
               tail;
    return QStringLiteral("通訊錄檔案已損壞（檔案記載 %1 位成員、%2 個群組），只讀到 %3 位成員、%4 個群組。")
               .arg(m)
               .arg(g)
               .arg(membersRead)
               .arg(groupsRead) +
           tail;
}

// What the load leaves out of the maps, named for the user; the file is kept aside at the next save.
// A badly damaged file would otherwise print thousands of lines: the first few are named, the rest counted.
class LeftOutRecords {
public:
    void add(const QString& line) {
        if (++m_count <= kNamed)
            m_lines.append(line);
    }
    bool any() const { return m_count > 0; }
    QString text() const {
        QString text = m_lines.join(QLatin1Char('\n'));
        if (m_count > kNamed)
            text += QLatin1Char('\n') +
                    QStringLiteral("另有 %1 筆紀錄的識別碼不符或內容無效，也已略過。").arg(m_count - kNamed);
        return text;
    }

private:
    static constexpr int kNamed = 5;
    QStringList m_lines;
    int m_count = 0;
};

// The sign of an id is how every part of the program tells a member from a group: a member record with
// an id of 0 or less (or a group record with one of 0 or more) would be taken for the other kind, or
// meet an entry of the other kind under the same id. Such records are left out of the maps and named.
template <std::size_t N> QString wrongIdLine(qint64 index, const char (&name)[N], int32_t id, bool member) {
    return QStringLiteral("通訊錄檔案已損壞：第 %1 筆%2紀錄「%3」的識別碼 %4 不是%5，已略過。")
        .arg(QString::number(index + 1), member ? QStringLiteral("成員") : QStringLiteral("群組"),
             shownBig5(getField(name)), QString::number(id), member ? QStringLiteral("正數") : QStringLiteral("負數"));
}

// Leaves out the numbers that cannot be real, naming each; false when the member must be left out.
bool checkMember(qint64 index, sMember& member, LeftOutRecords& leftOut) {
    const QByteArray name = getField(member.name);
    if (!IsRealName(name)) {
        leftOut.add(QStringLiteral("通訊錄檔案已損壞：第 %1 筆成員紀錄的名稱「%2」含有控制字元，已略過。")
                        .arg(QString::number(index + 1), shownBig5(name)));
        return false;
    }
    const MsisdnNumbers split = SplitMsisdn(getField(member.msisdn));
    QList<QByteArray> kept;
    int keptDefault = -1;
    for (int i = 0; i < split.numbers.size(); ++i) {
        const QByteArray& number = split.numbers.at(i);
        if (!IsRealNumber(number)) {
            leftOut.add(QStringLiteral("通訊錄檔案已損壞：成員「%1」的門號「%2」不是手機門號，已略過。")
                            .arg(shownBig5(name), shownBig5(number)));
            continue;
        }
        if (i == split.defaultIndex)
            keptDefault = int(kept.size());
        kept.append(number);
    }
    if (kept.size() == split.numbers.size())
        return true;
    if (kept.isEmpty()) {
        leftOut.add(QStringLiteral("通訊錄檔案已損壞：成員「%1」沒有有效的門號，已略過。").arg(shownBig5(name)));
        return false;
    }
    putField(member.msisdn, JoinMsisdn(kept, keptDefault));
    return true;
}

// The book's bytes as they come, a piece at a time, so the file never lies in memory whole next to the
// book it fills: the complete records the counts announce and the bytes hold, never a byte past the data.
class BookReader {
public:
    BookReader() = default;
    // Hands each entry kept to `member` and `group` instead of holding it.
    BookReader(std::function<void(const sMember&)> member, std::function<void(const sGroup&)> group)
        : m_onMember(std::move(member)), m_onGroup(std::move(group)) {}

    void feed(const char* data, qsizetype size) {
        m_size += size;
        while (size > 0) {
            const qsizetype want = wanted();
            if (want == 0)
                return; // past the records: only the length counts
            const qsizetype take = std::min(size, want - qsizetype(m_record.size()));
            m_record.append(data, take);
            data += take;
            size -= take;
            if (m_record.size() == want)
                takeRecord();
        }
    }

    // The book (when one is filled) gets what was read.
    AddressBookResult finish(AddressBook* book) {
        AddressBookResult result;
        if (m_size < kHeaderSize) {
            if (book)
                book->clear();
            result.damaged = true;
            result.message = damagedText(0, 0, m_size, 0, 0);
            return result;
        }
        if (book)
            book->replace(std::move(m_members), std::move(m_groups));
        result.membersRead = int(m_membersRead);
        result.groupsRead = int(m_groupsRead);
        const qint64 expected = kHeaderSize + kMemberSize * qint64(m_m) + kGroupSize * qint64(m_g);
        const bool cut = m_m < 0 || m_g < 0 || m_size != expected;
        if (cut || m_leftOut.any()) {
            // Whatever was left out, the next save must not throw it away: the file is kept aside first.
            result.damaged = true;
            QStringList lines;
            if (m_leftOut.any())
                lines.append(m_leftOut.text());
            lines.append(cut ? damagedText(m_m, m_g, m_size, result.membersRead, result.groupsRead) : keptAsideText());
            result.message = lines.join(QLatin1Char('\n'));
        }
        return result;
    }

private:
    // The size of the next record, 0 when no more are read. A negative count leaves no way to find where
    // the records after it start.
    qsizetype wanted() const {
        if (!m_header)
            return kHeaderSize;
        if (m_m < 0)
            return 0;
        if (m_membersRead < m_m)
            return kMemberSize;
        if (m_g < 0 || m_groupsRead >= m_g)
            return 0;
        return kGroupSize;
    }

    void takeRecord() {
        const char* p = m_record.constData();
        if (!m_header) {
            m_header = true;
            m_m = readInt32(p);
            m_g = readInt32(p + 4);
        } else if (m_membersRead < m_m) {
            sMember member;
            std::memcpy(&member, p, sizeof member);
            if (member.id <= 0)
                m_leftOut.add(wrongIdLine(m_membersRead, member.name, member.id, true));
            else if (checkMember(m_membersRead, member, m_leftOut))
                keep(member);
            ++m_membersRead;
        } else {
            sGroup group;
            std::memcpy(&group, p, sizeof group);
            const qint64 i = m_groupsRead++;
            if (group.id >= 0)
                m_leftOut.add(wrongIdLine(i, group.name, group.id, false));
            else if (!IsRealName(getField(group.name)))
                m_leftOut.add(QStringLiteral("通訊錄檔案已損壞：第 %1 筆群組紀錄的名稱「%2」含有控制字元，已略過。")
                                  .arg(QString::number(i + 1), shownBig5(getField(group.name))));
            else
                keep(group);
        }
        m_record.clear();
    }

    void keep(const sMember& member) {
        if (m_onMember)
            m_onMember(member);
        else
            m_members.insert_or_assign(member.id, member);
    }
    void keep(const sGroup& group) {
        if (m_onGroup)
            m_onGroup(group);
        else
            m_groups.insert_or_assign(group.id, group);
    }

    std::function<void(const sMember&)> m_onMember;
    std::function<void(const sGroup&)> m_onGroup;
    QByteArray m_record; // the record being read
    qint64 m_size = 0;
    bool m_header = false;
    int32_t m_m = 0;
    int32_t m_g = 0;
    qint64 m_membersRead = 0;
    qint64 m_groupsRead = 0;
    LeftOutRecords m_leftOut;
    std::map<int32_t, sMember> m_members;
    std::map<int32_t, sGroup> m_groups;
};

} // namespace

// A name with a control character was never typed into an editor nor imported (both trim and refuse
// such text), and a number is what a phone dials: printable ASCII. Anything else in a record is taken
// from damaged or foreign bytes, and sending to it would reach nobody or someone random.
bool IsRealName(const QByteArray& name) {
    return firstControlByte(name) < 0;
}

bool IsRealNumber(const QByteArray& number) {
    for (const char c : number) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E)
            return false;
    }
    return true;
}

AddressBookResult ParseAddressBook(AddressBook& book, const QByteArray& data) {
    // Emptied first, so the old book and the new one are never in memory together.
    book.clear();
    BookReader reader;
    reader.feed(data.constData(), data.size());
    return reader.finish(&book);
}

namespace {

// Feeds the whole of `fd` to `reader`, with the SHA-256 of its bytes when `digest` is given.
bool feedFile(int fd, BookReader& reader, QByteArray* digest) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(kReadPiece, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), std::size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (digest)
            hash.addData(QByteArrayView(chunk.constData(), qsizetype(n)));
        reader.feed(chunk.constData(), qsizetype(n));
    }
    if (digest)
        *digest = hash.result();
    return true;
}

} // namespace

// The book is only replaced once the file was read to its end: one that cannot be read leaves it alone.
bool ReadAddressBookFile(AddressBook& book, int fd, AddressBookResult* result, QByteArray* digest) {
    BookReader reader;
    if (!feedFile(fd, reader, digest))
        return false;
    *result = reader.finish(&book);
    return true;
}

// A book this program wrote holds its entries in id order, each id once; such a file is listed as it is
// read, a second time, and never held. Any other is loaded whole and listed from the book, which puts its
// entries in order and keeps the last of an id, as a load does.
AddressBookResult ListAddressBook(const QString& path, const std::function<void(const AddressBookResult&)>& before,
                                  const std::function<void(const sMember&)>& member,
                                  const std::function<void(const sGroup&)>& group) {
    AddressBookResult result;
    if (!QFileInfo::exists(path)) {
        before(result);
        return result;
    }
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    const auto failed = [&]() {
        if (fd >= 0)
            ::close(fd);
        result = AddressBookResult();
        result.ok = false;
        result.message = readFailedText();
        if (notAFile)
            result.message += QLatin1Char('\n') + InputRefusalText(path, reason);
        before(result);
        return result;
    };
    if (fd < 0)
        return failed();
    bool ordered = true;
    int32_t lastMember = 0; // member ids are above 0, group ids below
    int32_t lastGroup = std::numeric_limits<int32_t>::min();
    BookReader check(
        [&](const sMember& m) {
            ordered = ordered && m.id > lastMember;
            lastMember = m.id;
        },
        [&](const sGroup& g) {
            ordered = ordered && g.id > lastGroup;
            lastGroup = g.id;
        });
    if (!feedFile(fd, check, nullptr) || ::lseek(fd, 0, SEEK_SET) != 0)
        return failed();
    if (ordered) {
        result = check.finish(nullptr);
        before(result);
        BookReader reader(member, group);
        const bool read = feedFile(fd, reader, nullptr);
        ::close(fd);
        if (!read) {
            result.ok = false; // what was listed stays listed; the command says it failed
            result.message = readFailedText();
        }
        return result;
    }
    AddressBook book;
    if (!ReadAddressBookFile(book, fd, &result, nullptr))
        return failed();
    ::close(fd);
    before(result);
    for (const auto& entry : book.MemberMap())
        member(entry.second);
    for (const auto& entry : book.GroupMap())
        group(entry.second);
    return result;
}

QByteArray AddressBookImage(const AddressBook& book) {
    const auto& members = book.MemberMap();
    const auto& groups = book.GroupMap();
    QByteArray image;
    image.reserve(qsizetype(kHeaderSize + kMemberSize * qint64(members.size()) + kGroupSize * qint64(groups.size())));
    char header[kHeaderSize];
    qToLittleEndian<qint32>(qint32(members.size()), header);
    qToLittleEndian<qint32>(qint32(groups.size()), header + 4);
    image.append(header, sizeof header);
    for (const auto& entry : members)
        image.append(reinterpret_cast<const char*>(&entry.second), kMemberSize);
    for (const auto& entry : groups)
        image.append(reinterpret_cast<const char*>(&entry.second), kGroupSize);
    return image;
}

QString AddressBookPath(const QString& startDir) {
    return QDir(startDir).filePath(QStringLiteral("AddressBook.bin"));
}

AddressBookResult LoadAddressBook(AddressBook& book) {
    return LoadAddressBook(book, book.filePath());
}

namespace {

// What a load says of a file it could not read: `reason` is the system's, or the refusal of what is no file.
AddressBookResult unreadableBook(const QString& path, const QString& reason, bool notAFile) {
    AddressBookResult result;
    result.ok = false;
    result.message = WithReason(readFailedText(), notAFile ? InputRefusalText(path, reason) : reason);
    return result;
}

} // namespace

AddressBookResult LoadAddressBook(AddressBook& book, const QString& path) {
    AddressBookResult result;
    if (!QFileInfo::exists(path))
        return result;

    // Never waits on a pipe or device at the book's name: such a file is unreadable, and kept aside
    // before the next save like any other.
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    QByteArray digest;
    errno = 0;
    const bool read = fd >= 0 && ReadAddressBookFile(book, fd, &result, &digest);
    if (fd >= 0 && !read && errno != 0)
        reason = SystemErrorText(errno); // the failed read's own number
    if (fd >= 0)
        ::close(fd);
    BookFileMemory::PendingAside& pendingAside = book.fileMemory().pendingAside;
    if (!read) {
        pendingAside = {path, true};
        return unreadableBook(path, reason, notAFile);
    }

    RememberBookAsRead(path, book, digest);
    if (result.damaged)
        pendingAside = {path, false};
    else if (pendingAside.path == path)
        pendingAside = {};
    return result;
}

AddressBookResult LoadAddressBookPart(AddressBook& book, const QString& path, const QList<QByteArray>& names) {
    if (!QFileInfo::exists(path))
        return {};
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    if (fd < 0)
        return unreadableBook(path, reason, notAFile);
    const auto readFailed = [&] {
        const int error = errno;
        ::close(fd);
        return unreadableBook(path, error != 0 ? SystemErrorText(error) : reason, notAFile);
    };
    const auto rewound = [fd] { return ::lseek(fd, 0, SEEK_SET) == 0; };
    QSet<QByteArray> wanted;
    for (const QByteArray& name : names)
        if (const QByteArray trimmed = name.trimmed(); !trimmed.isEmpty())
            wanted.insert(trimmed);
    const auto isWanted = [&wanted](const auto& field) { return wanted.contains(getField(field).trimmed()); };

    // The named members, and every group: which members the named groups hold is known once the groups,
    // which follow the members, have been read.
    std::map<int32_t, sMember> members;
    std::map<int32_t, sGroup> groups;
    bool ordered = true;
    int32_t lastMember = 0; // member ids are above 0, group ids below
    int32_t lastGroup = std::numeric_limits<int32_t>::min();
    BookReader first(
        [&](const sMember& m) {
            ordered = ordered && m.id > lastMember;
            lastMember = m.id;
            if (isWanted(m.name))
                members.emplace(m.id, m);
        },
        [&](const sGroup& g) {
            ordered = ordered && g.id > lastGroup;
            lastGroup = g.id;
            groups.emplace(g.id, g);
        });
    errno = 0;
    if (!feedFile(fd, first, nullptr))
        return readFailed();
    AddressBookResult result;
    if (!ordered) {
        // An id may come twice: only a whole load knows which of its records counts.
        members.clear();
        groups.clear();
        if (!rewound() || !ReadAddressBookFile(book, fd, &result, nullptr))
            return readFailed();
        ::close(fd);
        return result;
    }
    result = first.finish(nullptr);

    // The groups the named ones reach, however deep (a cycle of a damaged book included), and their members.
    std::vector<int32_t> toVisit;
    for (const auto& [id, g] : groups)
        if (isWanted(g.name))
            toVisit.push_back(id);
    QSet<int32_t> reachedGroups;
    QSet<int32_t> reachedMembers;
    while (!toVisit.empty()) {
        const int32_t id = toVisit.back();
        toVisit.pop_back();
        const auto it = groups.find(id);
        if (it == groups.end() || reachedGroups.contains(id))
            continue;
        reachedGroups.insert(id);
        for (const int32_t slot : it->second.members) {
            if (slot > 0 && !members.count(slot))
                reachedMembers.insert(slot);
            else if (slot < 0)
                toVisit.push_back(slot);
        }
    }
    for (auto it = groups.begin(); it != groups.end();)
        it = reachedGroups.contains(it->first) ? std::next(it) : groups.erase(it);
    if (!reachedMembers.isEmpty()) {
        BookReader second(
            [&](const sMember& m) {
                if (reachedMembers.contains(m.id))
                    members.emplace(m.id, m);
            },
            [](const sGroup&) {});
        if (!rewound() || !feedFile(fd, second, nullptr))
            return readFailed();
    }
    ::close(fd);
    book.replace(std::move(members), std::move(groups));
    return result;
}

AddressBookResult SaveAddressBook(AddressBook& book) {
    return SaveAddressBook(book, book.filePath());
}

bool AddressBookUnsaved(AddressBook& book) {
    return book.fileMemory().unsaved;
}

namespace {
AddressBookResult writeAddressBook(AddressBook& book, const QString& path);
} // namespace

AddressBookResult SaveAddressBook(AddressBook& book, const QString& path) {
    AddressBookResult result = writeAddressBook(book, path);
    book.fileMemory().unsaved = !result.ok;
    return result;
}

namespace {

AddressBookResult writeAddressBook(AddressBook& book, const QString& path) {
    AddressBookResult result;
    // Under the book's lock, and never over a file somebody changed since it was read: their entries are
    // read again and this program's changes made to them.
    BookWriteGuard guard(book, path);
    const BookCheck check = guard.begin();
    if (!check.ok) {
        result.ok = false;
        result.message = check.message;
        return result;
    }
    result.reloaded = check.reloaded;
    BookFileMemory::PendingAside& pendingAside = book.fileMemory().pendingAside;
    if (!pendingAside.path.isEmpty() && pendingAside.path == path) {
        if (!moveAside(path, result.keptAs)) {
            result.ok = false;
            result.message = writeFailedText() + QLatin1Char('\n') + QStringLiteral("無法另存原通訊錄檔案：") + path;
            return result;
        }
        if (!result.keptAs.isEmpty()) {
            result.message = (pendingAside.unreadable ? QStringLiteral("原通訊錄檔案無法讀取，已另存為：")
                                                      : QStringLiteral("原通訊錄檔案已損壞，已另存為：")) +
                             result.keptAs;
        }
        pendingAside = {};
    }
    if (check.reloaded)
        result.message = result.message.isEmpty() ? check.message : check.message + QLatin1Char('\n') + result.message;
    const QString keptNotice = result.message;
    SaveFile file(path);
    const auto fail = [&]() {
        result.ok = false;
        result.message = WithReason(WithReason(writeFailedText(), file.errorString()), keptNotice);
        return result;
    };

    if (!file.open())
        return fail();
    const QByteArray image = AddressBookImage(book);
    file.write(image);
    // A failed write or rename leaves the old file as it was; the change waits for the next save.
    if (!file.commit())
        return fail();
    guard.written(image);
    result.membersRead = int(book.MemberMap().size());
    result.groupsRead = int(book.GroupMap().size());
    return result;
}

} // namespace

} // namespace norvi
