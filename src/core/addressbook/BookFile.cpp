#include "core/addressbook/BookFile.h"

#include "core/addressbook/BookGuard.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"
#include "core/shared/SaveFile.h"
#include "core/shared/ShownText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <unistd.h>

#include <cstring>
#include <map>

namespace norvi {

namespace {

constexpr qint64 kHeaderSize = 8;
constexpr qint64 kMemberSize = sizeof(sMember);
constexpr qint64 kGroupSize = sizeof(sGroup);

QString readFailedText() {
    return QStringLiteral("讀取通訊錄檔案失敗！");
}
QString writeFailedText() {
    return QStringLiteral("寫入通訊錄檔案失敗！");
}

// A file that was not read whole must not be replaced by the next save: it is moved aside first.
struct PendingAside {
    QString path;
    bool unreadable = false; // could not be opened or read, as opposed to read in part
};
PendingAside g_pendingAside;

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

// A name with a control character was never typed into an editor nor imported (both trim and refuse
// such text), and a number is what a phone dials: printable ASCII. Anything else in a record is taken
// from damaged or foreign bytes, and sending to it would reach nobody or someone random.
bool isRealName(const QByteArray& name) {
    return firstControlByte(name) < 0;
}

bool isRealNumber(const QByteArray& number) {
    for (const char c : number) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E)
            return false;
    }
    return true;
}

// Leaves out the numbers that cannot be real, naming each; false when the member must be left out.
bool checkMember(qint64 index, sMember& member, LeftOutRecords& leftOut) {
    const QByteArray name = getField(member.name);
    if (!isRealName(name)) {
        leftOut.add(QStringLiteral("通訊錄檔案已損壞：第 %1 筆成員紀錄的名稱「%2」含有控制字元，已略過。")
                        .arg(QString::number(index + 1), shownBig5(name)));
        return false;
    }
    const MsisdnNumbers split = SplitMsisdn(getField(member.msisdn));
    QList<QByteArray> kept;
    int keptDefault = -1;
    for (int i = 0; i < split.numbers.size(); ++i) {
        const QByteArray& number = split.numbers.at(i);
        if (!isRealNumber(number)) {
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

} // namespace

// Reads the complete records the counts announce and the bytes hold; never a byte past the data.
AddressBookResult ParseAddressBook(AddressBook& book, const QByteArray& data) {
    AddressBookResult result;
    const qint64 size = data.size();
    // Emptied first, so the old book and the new one are never in memory together.
    book.clear();
    if (size < kHeaderSize) {
        result.damaged = true;
        result.message = damagedText(0, 0, size, 0, 0);
        return result;
    }
    const char* p = data.constData();
    const int32_t m = readInt32(p);
    const int32_t g = readInt32(p + 4);

    // A negative count leaves no way to find where the records after it start.
    const qint64 memberBytesAvail = size - kHeaderSize;
    const qint64 membersToRead = m < 0 ? 0 : std::min<qint64>(m, memberBytesAvail / kMemberSize);
    const bool membersComplete = m >= 0 && membersToRead == m;
    const qint64 groupsStart = kHeaderSize + kMemberSize * membersToRead;
    const qint64 groupsToRead =
        (!membersComplete || g < 0) ? 0 : std::min<qint64>(g, (size - groupsStart) / kGroupSize);

    LeftOutRecords leftOut;
    std::map<int32_t, sMember> members;
    std::map<int32_t, sGroup> groups;
    for (qint64 i = 0; i < membersToRead; ++i) {
        sMember member;
        std::memcpy(&member, p + kHeaderSize + i * kMemberSize, sizeof member);
        if (member.id <= 0)
            leftOut.add(wrongIdLine(i, member.name, member.id, true));
        else if (checkMember(i, member, leftOut))
            members.insert_or_assign(member.id, member);
    }
    for (qint64 i = 0; i < groupsToRead; ++i) {
        sGroup group;
        std::memcpy(&group, p + groupsStart + i * kGroupSize, sizeof group);
        if (group.id >= 0)
            leftOut.add(wrongIdLine(i, group.name, group.id, false));
        else if (!isRealName(getField(group.name)))
            leftOut.add(QStringLiteral("通訊錄檔案已損壞：第 %1 筆群組紀錄的名稱「%2」含有控制字元，已略過。")
                            .arg(QString::number(i + 1), shownBig5(getField(group.name))));
        else
            groups.insert_or_assign(group.id, group);
    }
    book.replace(std::move(members), std::move(groups));
    result.membersRead = int(membersToRead);
    result.groupsRead = int(groupsToRead);

    const qint64 expected = kHeaderSize + kMemberSize * qint64(m) + kGroupSize * qint64(g);
    const bool cut = m < 0 || g < 0 || size != expected;
    if (cut || leftOut.any()) {
        // Whatever was left out, the next save must not throw it away: the file is kept aside first.
        result.damaged = true;
        QStringList lines;
        if (leftOut.any())
            lines.append(leftOut.text());
        lines.append(cut ? damagedText(m, g, size, result.membersRead, result.groupsRead) : keptAsideText());
        result.message = lines.join(QLatin1Char('\n'));
    }
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

AddressBookResult LoadAddressBook(AddressBook& book, const QString& path) {
    AddressBookResult result;
    if (!QFileInfo::exists(path))
        return result;

    // Never waits on a pipe or device at the book's name: such a file is unreadable, and kept aside
    // before the next save like any other.
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    QFile file;
    QByteArray data;
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        data = file.readAll();
    else if (fd >= 0)
        ::close(fd);
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        g_pendingAside = {path, true};
        result.ok = false;
        result.message = readFailedText();
        if (notAFile)
            result.message += QLatin1Char('\n') + InputRefusalText(path, reason);
        return result;
    }

    result = ParseAddressBook(book, data);
    RememberBookAsRead(path, data);
    if (result.damaged)
        g_pendingAside = {path, false};
    else if (g_pendingAside.path == path)
        g_pendingAside = {};
    return result;
}

AddressBookResult SaveAddressBook(AddressBook& book) {
    return SaveAddressBook(book, book.filePath());
}

AddressBookResult SaveAddressBook(AddressBook& book, const QString& path) {
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
    if (!g_pendingAside.path.isEmpty() && g_pendingAside.path == path) {
        if (!moveAside(path, result.keptAs)) {
            result.ok = false;
            result.message = writeFailedText() + QLatin1Char('\n') + QStringLiteral("無法另存原通訊錄檔案：") + path;
            return result;
        }
        if (!result.keptAs.isEmpty()) {
            result.message = (g_pendingAside.unreadable ? QStringLiteral("原通訊錄檔案無法讀取，已另存為：")
                                                        : QStringLiteral("原通訊錄檔案已損壞，已另存為：")) +
                             result.keptAs;
        }
        g_pendingAside = {};
    }
    if (check.reloaded)
        result.message = result.message.isEmpty() ? check.message : check.message + QLatin1Char('\n') + result.message;
    const QString keptNotice = result.message;
    const auto fail = [&]() {
        result.ok = false;
        result.message = keptNotice.isEmpty() ? writeFailedText() : writeFailedText() + QLatin1Char('\n') + keptNotice;
        return result;
    };

    SaveFile file(path);
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

} // namespace norvi
