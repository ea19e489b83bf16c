// No log is replaced by a run: `finish` never writes over a log and keeps every whole record whatever the
// count field says. Each run against the simulator in this process.
#include "support/CliFixture.h"

#include <QtEndian>

namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::textList;

SendLogRow acceptedRow(int i) {
    SendLogRow row;
    row.texts[ColSendResult] = "ok(MsgId:OLD" + QByteArray::number(i) + ")";
    return row;
}

// A log file as any writer may have left it: `count` in front of `rows` whole records and `cut` bytes of
// one more.
QByteArray logBytes(qint32 count, int rows, int cut = 0) {
    const qint32 le = qToLittleEndian(count);
    QByteArray bytes(reinterpret_cast<const char*>(&le), sizeof le);
    for (int i = 0; i <= rows; ++i) {
        const sLogRecord record = toLogRecord(acceptedRow(i));
        bytes.append(reinterpret_cast<const char*>(&record), i < rows ? qsizetype(sizeof record) : cut);
    }
    return bytes;
}

class CliLogFilesTest : public test::CliTest {
protected:
    QStringList partials() const { return QDir(m_dir.path()).entryList({QStringLiteral("*.partial")}, QDir::Files); }
};

// finish takes every whole record, whatever the count field says, writes their true count, says what
// differed, and removes the partial file once the log is in place; it never writes over a log, --out or not.
TEST_F(CliLogFilesTest, FinishKeepsEveryWholeRecordWhateverTheCountAndNeverWritesOverALog) {
    const struct {
        qint32 count;
        const char* said;
    } cases[] = {{5, "筆數欄標示 5 筆，實有 10 筆"}, {0, "筆數欄標示 0 筆，實有 10 筆"}, {-7, "-7"}, {-1, "尚未完成"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const QString partial = path(QStringLiteral("run%1.log.Ab12Cd.partial").arg(c.count));
        const QString target = path(QStringLiteral("run%1.log").arg(c.count));
        test::writeAll(partial, logBytes(c.count, 10, 200));
        writeFile("other.log", "someone else's log");

        const CliRun refused = run({"finish", partial, "--out", path("other.log")});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("已存在"))) << refused.err.toStdString();
        EXPECT_EQ(readBytes("other.log"), "someone else's log");
        EXPECT_TRUE(QFileInfo::exists(partial));

        const CliRun finished = run({"finish", partial});
        EXPECT_EQ(finished.exitCode, 0) << finished.err.toStdString();
        EXPECT_TRUE(finished.err.contains(QString::fromUtf8(c.said))) << finished.err.toStdString();
        EXPECT_TRUE(finished.err.contains(QStringLiteral("200 位元組"))) << finished.err.toStdString();
        EXPECT_EQ(test::readAll(target), logBytes(10, 10));
        EXPECT_FALSE(QFileInfo::exists(partial));
    }
}

} // namespace
} // namespace norvi
