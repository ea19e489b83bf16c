#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace norvi {
namespace {

SendLogRow row(const QByteArray& caption, const QByteArray& mobile) {
    SendLogRow r;
    r.texts[ColName] = caption;
    r.texts[ColMobile] = mobile;
    r.texts[ColSendCode] = "0";
    r.image = ImageTyped;
    return r;
}

class FileOrderJobRowsTest : public ::testing::Test {
protected:
    // A file whose rows are not in name order, as one saved after sorting by another column.
    QString writeUnsorted() {
        const QString path = dir.filePath(QStringLiteral("unsorted.log"));
        LogFileWriter writer(path);
        EXPECT_TRUE(writer.open(3));
        writer.write(row("Zed", "0911000001"));
        writer.write(row("Amy", "0911000002"));
        writer.write(row("Max", "0911000003"));
        EXPECT_TRUE(writer.commit());
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(FileOrderJobRowsTest, KeepsFileOrderAndAppendsAddedRowsAfterIt) {
    FileOrderJobRows log;
    QString damage = QStringLiteral("not asked");
    ASSERT_TRUE(log.load(writeUnsorted(), &damage));
    EXPECT_TRUE(damage.isEmpty()) << damage.toStdString();
    ASSERT_EQ(log.rowCount(), 3);
    EXPECT_EQ(log.row(0).texts[ColName], "Zed");
    EXPECT_EQ(log.row(2).texts[ColName], "Max");

    const quint64 id = log.addRow("Ann", ImageMember, "0911000009", "20240101000000");
    log.fillSendResult(id, "0", ImageNone, "ok", "text");
    ASSERT_EQ(log.rowCount(), 4);
    EXPECT_EQ(log.row(3).texts[ColName], "Ann");
    EXPECT_EQ(log.row(3).texts[ColSendResult], "ok");
    EXPECT_EQ(log.row(3).texts[ColContent], "text");
    EXPECT_EQ(log.row(3).image, ImageMember);

    const QString out = dir.filePath(QStringLiteral("out.log"));
    ASSERT_TRUE(log.save(out));
    FileOrderJobRows again;
    ASSERT_TRUE(again.load(out));
    ASSERT_EQ(again.rowCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(again.rows()[i].texts, log.rows()[i].texts) << i;
}

TEST_F(FileOrderJobRowsTest, SelectionIsExactlyTheGivenRows) {
    FileOrderJobRows log;
    ASSERT_TRUE(log.load(writeUnsorted()));
    log.select({2, 0, 7});
    EXPECT_EQ(log.selectedRows(), (QVector<int>{0, 2}));
    log.select({2});
    EXPECT_EQ(log.selectedRows(), (QVector<int>{2}));
}

TEST_F(FileOrderJobRowsTest, QueryResultLandsInTheNamedRowOnly) {
    FileOrderJobRows log;
    ASSERT_TRUE(log.load(writeUnsorted()));
    log.answered(log.rowId(1), "4", "submitted");
    log.answered(9, "0", "ignored"); // no such row: nothing happens
    EXPECT_EQ(log.row(1).texts[ColQueryCode], "4");
    EXPECT_EQ(log.row(1).texts[ColQueryResult], "submitted");
    EXPECT_TRUE(log.row(0).texts[ColQueryCode].isEmpty());
    EXPECT_TRUE(log.row(2).texts[ColQueryCode].isEmpty());
}

TEST_F(FileOrderJobRowsTest, MissingFileIsReportedAndLeavesTheLogEmpty) {
    FileOrderJobRows log;
    EXPECT_FALSE(log.load(dir.filePath(QStringLiteral("none.log"))));
    EXPECT_EQ(log.rowCount(), 0);
}

} // namespace
} // namespace norvi
