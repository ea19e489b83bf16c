// The month's usage as the desktop counts it: the logs of the folder and the list not saved yet, whose rows may
// also stand in one of those logs.
#include "core/workers/MonthUsage.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace norvi {
namespace {

SendLogRow usageRow(const QByteArray& mobile, const QByteArray& queryCode) {
    SendLogRow row;
    row.image = ImageTyped;
    row.texts = {"", mobile, "20261205100000", "0", big5("訊息已成功送出(MsgId:") + mobile + ')', queryCode, {}, "hi"};
    return row;
}

// A row of the list that also stands in a log counts once, with what the list knows of it now.
TEST(MonthUsage, ListRowsAlsoInALogCountOnceAsTheListHasThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = QDir(dir.path()).filePath(QStringLiteral("a.log"));
    LogFileWriter writer(file);
    ASSERT_TRUE(writer.open(2));
    writer.write(usageRow("0912000001", {}));
    writer.write(usageRow("0912000002", {}));
    ASSERT_TRUE(writer.commit());
    const struct {
        const char* label;
        std::vector<SendLogRow> list;
        int shortMessages, delivered, notAsked;
    } cases[] = {
        {"no list", {}, 2, 0, 2},
        {"the log's rows, queried since", {usageRow("0912000001", "0"), usageRow("0912000002", "0")}, 2, 2, 0},
        {"one queried, one the log lacks", {usageRow("0912000001", "0"), usageRow("0912000003", {})}, 3, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const MonthUsage usage = CountMonthUsage(QDate(2026, 12, 20), {file}, c.list);
        EXPECT_EQ(usage.days.at(4).shortMessages, c.shortMessages);
        EXPECT_EQ(usage.total.delivery[std::size_t(Delivery::Delivered)], c.delivered);
        EXPECT_EQ(usage.total.delivery[std::size_t(Delivery::NotAsked)], c.notAsked);
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
