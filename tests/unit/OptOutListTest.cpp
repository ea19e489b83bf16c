#include "core/compose/OptOutList.h"

#include "core/shared/Big5.h"
#include "core/shared/FileLock.h"
#include "support/StartFolder.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace norvi;

namespace {

const QDate kOptOutDay(2024, 5, 1);

QByteArray optOutFileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeOptOutFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST(OptOutListTest, NumbersAreListedAndFoundByTheirKey) {
    OptOutList list;
    const struct {
        const char* number;
        OptOutAdd result;
    } adds[] = {{"0912-345-678", OptOutAdd::Added},
                {"+886912345678", OptOutAdd::AlreadyListed},
                {"0922 000 111", OptOutAdd::Added},
                // 0933000222 as a spreadsheet saves it, the 0 lost: still that phone.
                {"933000222", OptOutAdd::Added},
                {"0933-000-222", OptOutAdd::AlreadyListed},
                {"hello", OptOutAdd::NotANumber},
                {"", OptOutAdd::NotANumber}};
    for (const auto& a : adds)
        EXPECT_EQ(list.add(a.number, big5("家長\r\n來電"), kOptOutDay), a.result) << a.number;
    for (const char* written :
         {"0912345678", "886912345678", "00886-912-345-678", "0922000111", "0933000222", "+886933000222", "912345678"})
        EXPECT_TRUE(list.contains(written)) << written;
    EXPECT_TRUE(list.containsKey("0933000222"));
    for (const char* written : {"0912345679", "93300022", "9330002220"})
        EXPECT_FALSE(list.contains(written)) << written;
    EXPECT_EQ(list.toBytes(), big5("0912345678,2024/05/01,家長  來電\r\n0922000111,2024/05/01,家長  來電\r\n"
                                   "933000222,2024/05/01,家長  來電\r\n"));

    EXPECT_EQ(list.remove("+886 912 345 678"), 1);
    EXPECT_EQ(list.remove("0912345678"), 0);
    EXPECT_FALSE(list.contains("0912345678"));
    EXPECT_EQ(list.remove("0933000222"), 1);
    EXPECT_EQ(list.size(), 1);

    // A hand-written line naming two numbers stops both; each is an entry of its own from the next write on.
    OptOutList two = OptOutList::fromBytes("0912000001,0912000002\r\n0922000001,2024/05/01,0922000002\r\n");
    EXPECT_TRUE(two.contains("0912000002"));
    EXPECT_FALSE(two.contains("0922000002"));
    EXPECT_EQ(two.remove("0912000001"), 1);
    EXPECT_TRUE(two.contains("0912000002"));
    EXPECT_EQ(two.toBytes(), "0912000002,\r\n0922000001,2024/05/01,0922000002\r\n");
}

// A line without a number stays in the file as it was and is named; the numbers around it still count, even
// with a day that is missing or unreadable.
TEST(OptOutListTest, DamagedLinesAreKeptAndNamedAndTheRestIsHonoured) {
    // The mark an editor saving as UTF-8 puts first is no part of the first number.
    const QByteArray file = "\xEF\xBB\xBF" + big5("0912345678,2024/05/01,note, with comma\n"
                                                  "not a number,2024/05/01\n"
                                                  "\n"
                                                  "0922000111\r\n"
                                                  "0933000222,yesterday\n"
                                                  "#comment\n");
    OptOutList list = OptOutList::fromBytes(file);
    EXPECT_EQ(list.size(), 3);
    EXPECT_TRUE(list.contains("0933000222"));
    EXPECT_TRUE(list.contains("0912345678"));
    const std::vector<OptOutEntry> entries = list.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].note, "note, with comma");
    EXPECT_EQ(entries[1].added, "");
    EXPECT_EQ(entries[2].note, "yesterday"); // no day there: a note
    EXPECT_EQ(list.damagedLines(), 2);
    EXPECT_EQ(list.damageText(),
              QStringLiteral(
                  "拒收名單檔案有 2 行不是手機門號，已保留原樣：第 2 行 not a number,2024/05/01、第 6 行 #comment"));
    // Written back: the damaged lines where they were, the blank line gone, CR LF throughout.
    list.remove("0922000111");
    const QByteArray written("0912345678,2024/05/01,note, with comma\r\n"
                             "not a number,2024/05/01\r\n"
                             "0933000222,,yesterday\r\n"
                             "#comment\r\n");
    EXPECT_EQ(list.toBytes(), written);
    // Read and written again, as every later change does: the empty day keeps the note as it was.
    const OptOutList again = OptOutList::fromBytes(written);
    EXPECT_EQ(again.entries().at(1).note, "yesterday");
    EXPECT_EQ(again.toBytes(), written);
}

TEST(OptOutListTest, ChangesAreMadeToTheFileAsItStandsUnderItsLock) {
    test::StartFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = OptOutPath(folder.path());
    OptOutList list;
    QString error;
    ASSERT_TRUE(ReadOptOutFile(path, &list, &error)); // no file: an empty list
    EXPECT_EQ(list.size(), 0);

    const auto add = [&](const char* number) {
        return ChangeOptOutFile(
            path, [&](OptOutList& l) { return l.add(number, {}, kOptOutDay) == OptOutAdd::Added; }, &list, &error,
            false);
    };
    ASSERT_TRUE(add("0912345678")) << error.toStdString();
    // Another program changed the file meanwhile: the next change keeps its line.
    writeOptOutFile(path, optOutFileBytes(path) + "0955000333,2024/04/30,cli\r\n");
    ASSERT_TRUE(add("0922000111")) << error.toStdString();
    EXPECT_EQ(optOutFileBytes(path), "0912345678,2024/05/01\r\n0955000333,2024/04/30,cli\r\n0922000111,2024/05/01\r\n");
    EXPECT_EQ(list.size(), 3);

    // While another holds the lock, a change that may not wait is refused and the file stays as it was.
    FileLock other(path);
    ASSERT_TRUE(other.tryLock());
    const QByteArray before = optOutFileBytes(path);
    EXPECT_FALSE(add("0966000444"));
    EXPECT_TRUE(error.contains(QStringLiteral("變更中"))) << error.toStdString();
    EXPECT_EQ(optOutFileBytes(path), before);
    other.unlock();
    EXPECT_TRUE(add("0966000444"));

    // A change that would take the file past what a reading takes is refused: every send would stop on it.
    const QByteArray nearlyFull = "0912345678,2024/05/01," + QByteArray(16 * 1024 * 1024 - 30, 'x') + "\r\n";
    writeOptOutFile(path, nearlyFull);
    EXPECT_FALSE(add("0922000111"));
    EXPECT_TRUE(error.contains(QStringLiteral("超過 16 MB"))) << error.toStdString();
    EXPECT_EQ(optOutFileBytes(path), nearlyFull);

    // A change that changes nothing leaves the file's bytes alone.
    writeOptOutFile(path, "0912345678,2024/05/01\n");
    ASSERT_TRUE(add("0912-345-678"));
    EXPECT_EQ(optOutFileBytes(path), "0912345678,2024/05/01\n");

    // The lock file a run as root made stays usable by the folder's user, who may not write it: only root can
    // make such a file, so only then can this be seen.
    if (::geteuid() != 0)
        return;
    const QByteArray folderName = QFile::encodeName(folder.path());
    ASSERT_EQ(::chmod(folderName.constData(), 0755), 0);
    ASSERT_EQ(::chown(folderName.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool changed = ::setgid(65534) == 0 && ::setuid(65534) == 0 && add("0977000555");
        ::_exit(changed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the user could not change the list";
    EXPECT_TRUE(optOutFileBytes(path).contains("0977000555"));
}

TEST(OptOutListTest, ImportTakesNumbersFromTextOrCsvInBig5OrUtf8) {
    test::StartFolder folder;
    ASSERT_TRUE(folder.isValid());
    const struct {
        const char* name;
        QByteArray bytes;
        const char* numbers; // every entry's, in order
        int skipped;
        const char* firstNote;
    } cases[] = {
        {"utf8.csv", QByteArray("\xEF\xBB\xBF") + "號碼,備註\r\n\"0912-345-678\",王小明\r\n0922000111\r\n",
         "0912345678 0922000111", 1, "王小明"},
        {"big5.txt", big5("0912345678,2024/04/01,家長\n0933000222\tteacher\nabc\n\n"), "0912345678 0933000222", 1,
         "家長"},
        {"export.txt", "0912345678,2024/04/01\r\n", "0912345678", 0, ""},
        // A spreadsheet column pasted as CSV: every number on a line is stopped, then the day and note as ever;
        // a note that is a number after a day, or too short for one, stays a note.
        {"column.csv",
         "0912000001,0912000002\r\n\"0912-000-003\";912000004,2024/04/01,x\r\n0955000111,2024/04/01,0955000222\r\n"
         "0966000111,2024,20240501\r\n",
         "0912000001 0912000002 0912000003 912000004 0955000111 0966000111", 0, ""},
        {"emoji.csv", "0912000001,0912000002,家長😀\r\n", "0912000001 0912000002", 0, ""},
    };
    for (const auto& c : cases) {
        const QString path = folder.filePath(QString::fromLatin1(c.name));
        writeOptOutFile(path, c.bytes);
        const OptOutImport read = ReadOptOutImport(path);
        ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
        QByteArrayList numbers;
        for (const OptOutEntry& entry : read.entries)
            numbers << entry.number;
        EXPECT_EQ(numbers.join(' '), c.numbers) << c.name;
        EXPECT_EQ(read.skipped, c.skipped) << c.name;
        EXPECT_EQ(read.entries.front().note, big5(c.firstNote)) << c.name;
    }
    {
        OptOutList list;
        const OptOutImport read = ReadOptOutImport(folder.filePath(QStringLiteral("column.csv")));
        EXPECT_EQ(OptOutImportText(AddImported(list, read, kOptOutDay), read),
                  QStringLiteral("匯入 6 筆，已在名單中 0 筆。"));
        EXPECT_TRUE(list.contains("0912000004"));
        EXPECT_FALSE(list.contains("0955000222"));
        EXPECT_EQ(list.entries().at(3).note, "x");
    }
    OptOutList list;
    list.add("0912345678", {}, kOptOutDay);
    const OptOutImport read = ReadOptOutImport(folder.filePath(QStringLiteral("big5.txt")));
    const OptOutImportCount count = AddImported(list, read, kOptOutDay);
    EXPECT_EQ(count.added, 1);
    EXPECT_EQ(count.alreadyListed, 1);
    EXPECT_EQ(OptOutImportText(count, read),
              QStringLiteral("匯入 1 筆，已在名單中 1 筆，略過 1 行（不是手機門號）：第 3 行 abc。"));

    writeOptOutFile(folder.filePath(QStringLiteral("bad.txt")), QByteArray("0912345678\n\xFF\xFF\n"));
    EXPECT_FALSE(ReadOptOutImport(folder.filePath(QStringLiteral("bad.txt"))).error.isEmpty());
}

TEST(OptOutListTest, ExportWritesTheListAndNeverOneOfTheProgramsOwnFiles) {
    test::StartFolder folder;
    ASSERT_TRUE(folder.isValid());
    OptOutList list = OptOutList::fromBytes("0912345678,2024/05/01,a\nbroken\n");
    QString error;
    const QString out = folder.filePath(QStringLiteral("out.txt"));
    ASSERT_TRUE(ExportOptOut(list, out, folder.path(), &error)) << error.toStdString();
    EXPECT_EQ(optOutFileBytes(out), "0912345678,2024/05/01,a\r\n");
    for (const char* own : {"OptOut.txt", "AddressBook.bin", "NorviSMSAp.cfg", "NorviSMSAp.ini"}) {
        EXPECT_FALSE(ExportOptOut(list, folder.filePath(QString::fromLatin1(own)), folder.path(), &error)) << own;
        EXPECT_FALSE(QFile::exists(folder.filePath(QString::fromLatin1(own)))) << own;
    }
}
