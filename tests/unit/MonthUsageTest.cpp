// The month's usage as the desktop counts it: the logs of the folder and the list not saved yet, whose rows may
// also stand in one of those logs.
#include "core/workers/MonthUsage.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace norvi {
namespace {

SendLogRow usageRow(const QByteArray& mobile, const QByteArray& queryCode, const QByteArray& sendCode = "0") {
    SendLogRow row;
    row.image = ImageTyped;
    const QByteArray result =
        sendCode == "0" ? big5("訊息已成功送出(MsgId:") + mobile + ')' : big5("系統暫時無法傳送訊息(x)");
    row.texts = {"", mobile, "20261205100000", sendCode, result, queryCode, {}, "hi"};
    return row;
}

void writeUsageLog(const QString& path, const std::vector<SendLogRow>& rows, const QDateTime& written) {
    LogFileWriter writer(path);
    ASSERT_TRUE(writer.open(int(rows.size())));
    for (const SendLogRow& row : rows)
        writer.write(row);
    ASSERT_TRUE(writer.commit());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
}

// A row that the list or several logs hold (a log and the copy finish --out wrote of it) counts once, with the
// answer of the copy that knows most; identical rows of one log are as many short messages.
TEST(MonthUsage, ARowInSeveralLogsOrTheListCountsOnceWithItsBestAnswer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = QDir(dir.path()).filePath(QStringLiteral("a.log"));
    const QString copy = QDir(dir.path()).filePath(QStringLiteral("a-Ab12Cd.log"));
    // 0912000004 is under way in a.log and a reservation in the newer copy, which also holds a resend's rows.
    writeUsageLog(a, {usageRow("0912000001", {}), usageRow("0912000002", {}), usageRow("0912000004", "1")},
                  QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
    writeUsageLog(copy,
                  {usageRow("0912000001", "0"), usageRow("0912000002", {}), usageRow("0912000004", "20"),
                   usageRow("0912000003", {}, "11"), usageRow("0912000003", {}, "11")},
                  QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    const struct {
        const char* label;
        QStringList files;
        std::vector<SendLogRow> list;
        int shortMessages, delivered, notAsked, reserved, failed;
    } cases[] = {
        {"no list", {a}, {}, 3, 0, 2, 0, 0},
        {"queried since", {a}, {usageRow("0912000001", "0"), usageRow("0912000002", "0")}, 3, 2, 0, 0, 0},
        {"one queried, one new", {a}, {usageRow("0912000001", "0"), usageRow("0912000009", {})}, 4, 1, 2, 0, 0},
        {"a log and its copy", {a, copy}, {}, 5, 1, 1, 1, 2},
        {"the copy read first", {copy, a}, {}, 5, 1, 1, 1, 2},
        {"one log named twice", {a, a}, {}, 3, 0, 2, 0, 0},
        {"the list over both", {a, copy}, {usageRow("0912000002", "0")}, 5, 2, 0, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const MonthUsage usage = CountMonthUsage(QDate(2026, 12, 20), c.files, c.list);
        EXPECT_EQ(usage.days.at(4).shortMessages, c.shortMessages);
        EXPECT_EQ(usage.total.delivery[std::size_t(Delivery::Delivered)], c.delivered);
        EXPECT_EQ(usage.total.delivery[std::size_t(Delivery::NotAsked)], c.notAsked);
        EXPECT_EQ(usage.total.delivery[std::size_t(Delivery::Reserved)], c.reserved);
        EXPECT_EQ(usage.total.failed, c.failed);
        EXPECT_EQ(usage.total.shortMessages, c.shortMessages);
    }
}

TEST(MonthUsage, AMissingLogIsNamedAndTheFolderSkipsJournals) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir folder(dir.path());
    for (const char* name : {"b.log", "a.log", "norvi-journal-20261201-1.log", "c.txt"}) {
        QFile f(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList files;
    QString error;
    ASSERT_TRUE(UsageLogFiles(dir.path(), &files, &error));
    EXPECT_EQ(files, (QStringList{folder.filePath(QStringLiteral("a.log")), folder.filePath(QStringLiteral("b.log"))}));
    EXPECT_FALSE(UsageLogFiles(folder.filePath(QStringLiteral("none")), &files, &error));
    EXPECT_FALSE(error.isEmpty());

    const MonthUsage usage = CountMonthUsage(QDate(2026, 12, 1), {folder.filePath(QStringLiteral("gone.log"))});
    ASSERT_EQ(usage.unreadable.size(), 1);
    EXPECT_TRUE(usage.unreadable.at(0).startsWith(folder.filePath(QStringLiteral("gone.log"))));
    EXPECT_EQ(usage.logsRead, 0);
}

} // namespace
} // namespace norvi
