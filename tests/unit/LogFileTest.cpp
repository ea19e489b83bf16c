#include "core/sendlog/LogFile.h"
#include "support/CheckedModel.h"
#include "support/FileBytes.h"

#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstring>

using namespace norvi;
using norvi::test::CheckedModel;
using norvi::test::readAll;
using norvi::test::writeAll;

namespace {

QByteArray countBytes(qint32 n) {
    const qint32 le = qToLittleEndian(n);
    return QByteArray(reinterpret_cast<const char*>(&le), sizeof le);
}

QByteArray recordBytes(const SendLogRow& row) {
    const sLogRecord r = toLogRecord(row);
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
}

SendLogRow sampleRow(const char* name) {
    SendLogRow row;
    row.texts[ColName] = big5(name);
    row.texts[ColMobile] = "0912345678";
    row.texts[ColSendTime] = "20240301093000";
    row.texts[ColSendCode] = "0";
    row.texts[ColSendResult] = big5("傳送成功(MsgId:ABC123)");
    row.texts[ColQueryCode] = "1";
    row.texts[ColQueryResult] = big5("已送達");
    row.texts[ColContent] = big5("今晚七點開會");
    row.image = ImageMember;
    row.codeImage = ImageNone;
    return row;
}

class LogFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(LogFileTest, EmptyLogIsAFourByteFileHoldingZero) {
    CheckedModel<SendLogModel> model;
    ASSERT_TRUE(saveLogFile(path("empty.log"), model));
    EXPECT_EQ(readAll(path("empty.log")), countBytes(0));

    int read = -1;
    qint32 announced = -1;
    ASSERT_TRUE(loadLogFile(path("empty.log"), model, &read, &announced));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(announced, 0);
}

// Where each column lands in the 556-byte record.
struct LogFieldCase {
    int column;
    int offset;
    int width;
};

void PrintTo(const LogFieldCase& c, std::ostream* os) {
    *os << "column " << c.column;
}

class LogRecordLayoutTest : public ::testing::TestWithParam<LogFieldCase> {};

TEST_P(LogRecordLayoutTest, TextFieldSitsAtItsOffsetCutAtItsWidth) {
    const LogFieldCase c = GetParam();
    SendLogRow row;
    row.texts[std::size_t(c.column)] = QByteArray(c.width + 7, 'x');
    row.texts[std::size_t(c.column)][0] = 'A';
    const QByteArray bytes = recordBytes(row);
    ASSERT_EQ(bytes.size(), 556);
    EXPECT_EQ(bytes.at(c.offset), 'A');
    EXPECT_EQ(bytes.mid(c.offset + 1, c.width - 1), QByteArray(c.width - 1, 'x'));
    // Nothing spills into the next field.
    QByteArray rest = bytes;
    rest.replace(c.offset, c.width, QByteArray(c.width, '\0'));
    rest[0] = rest[146] = 0; // the two image bytes (none = 0xFF)
    EXPECT_EQ(rest, QByteArray(556, '\0'));
    EXPECT_EQ(fromLogRecord(toLogRecord(row)).texts[std::size_t(c.column)].size(), c.width);
}

INSTANTIATE_TEST_SUITE_P(Fields, LogRecordLayoutTest,
                         ::testing::Values(LogFieldCase{ColName, 1, 100}, LogFieldCase{ColMobile, 101, 30},
                                           LogFieldCase{ColSendTime, 131, 15}, LogFieldCase{ColSendCode, 147, 4},
                                           LogFieldCase{ColSendResult, 151, 120}, LogFieldCase{ColQueryCode, 271, 4},
                                           LogFieldCase{ColQueryResult, 275, 120}, LogFieldCase{ColContent, 395, 161}));

TEST_F(LogFileTest, LongContentAndFiveDigitCodesAreCutWithoutTerminator) {
    CheckedModel<SendLogModel> model;
    SendLogRow row = sampleRow("陳");
    row.texts[ColContent] = QByteArray(170, 'm');
    row.texts[ColSendCode] = "12345";
    row.texts[ColQueryCode] = "-1234";
    // A gateway's long text is cut between two characters (許 has a backslash for its second byte).
    const QByteArray said = big5("傳送型式的格式錯誤(");
    row.texts[ColSendResult] = said + big5("許").repeated(80) + ")";
    row.texts[ColQueryResult] = "a" + big5("功").repeated(60);
    model.addRow(row);
    ASSERT_TRUE(saveLogFile(path("cut.log"), model));

    const QByteArray file = readAll(path("cut.log"));
    ASSERT_EQ(file.size(), 4 + 556);
    EXPECT_EQ(file.mid(4 + 395, 161), QByteArray(161, 'm')); // the record's last byte is content, not a zero

    CheckedModel<SendLogModel> back;
    ASSERT_TRUE(loadLogFile(path("cut.log"), back));
    ASSERT_EQ(back.rowCount(), 1);
    EXPECT_EQ(back.text(0, ColContent), QByteArray(161, 'm'));
    EXPECT_EQ(back.text(0, ColSendCode), QByteArray("1234"));
    EXPECT_EQ(back.text(0, ColQueryCode), QByteArray("-123"));
    EXPECT_EQ(back.text(0, ColSendResult), said + big5("許").repeated(50));
    EXPECT_EQ(back.text(0, ColQueryResult), "a" + big5("功").repeated(59));
}

TEST_F(LogFileTest, RowsAndImagesRoundTripInListOrder) {
    CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    SendLogRow reservation = sampleRow("乙");
    reservation.image = ImageListRow;
    reservation.codeImage = ImageReservation;
    SendLogRow typed = sampleRow("甲");
    typed.texts[ColName].clear();
    typed.image = ImageTyped;
    typed.texts[ColMobile] = "0912000002"; // three messages, each of its own
    SendLogRow third = sampleRow("丙");
    third.texts[ColMobile] = "0912000003";
    model.addRow(reservation);
    model.addRow(typed);
    model.addRow(third);
    ASSERT_TRUE(saveLogFile(path("all.log"), model));

    const QByteArray file = readAll(path("all.log"));
    ASSERT_EQ(file.size(), 4 + 3 * 556);
    EXPECT_EQ(file.left(4), countBytes(3));

    CheckedModel<SendLogModel> back;
    back.columnClick(ColName);
    int read = 0;
    qint32 announced = 0;
    ASSERT_TRUE(loadLogFile(path("all.log"), back, &read, &announced));
    EXPECT_EQ(read, 3);
    EXPECT_EQ(announced, 3);
    ASSERT_EQ(back.rowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back.row(i).texts, model.row(i).texts) << i;
        EXPECT_EQ(back.rowImage(i), model.rowImage(i)) << i;
        EXPECT_EQ(back.codeImage(i), model.codeImage(i)) << i;
    }
    int images = 0;
    for (int i = 0; i < 3; ++i) {
        images |= 1 << back.rowImage(i);
        if (back.rowImage(i) == ImageListRow)
            EXPECT_EQ(back.codeImage(i), int(ImageReservation));
        else
            EXPECT_EQ(back.codeImage(i), int(ImageNone));
    }
    EXPECT_EQ(images, (1 << ImageListRow) | (1 << ImageTyped) | (1 << ImageMember));
    EXPECT_EQ(file.at(4 + 1), '\0') << "the empty caption sorts first";
    EXPECT_EQ(static_cast<unsigned char>(file.at(4 + 146)), 0xFFu) << "a row without a code image stores 0xFF";
}

struct BrokenFileCase {
    const char* name;
    qint32 count;
    int records;    // complete records that follow
    int extraBytes; // bytes of a cut record after them
    int expectedRead;
};

void PrintTo(const BrokenFileCase& c, std::ostream* os) {
    *os << c.name;
}

class LogFileBrokenTest : public ::testing::TestWithParam<BrokenFileCase> {};

TEST_P(LogFileBrokenTest, LoadsOnlyCompleteRecordsAndReportsTheShortfall) {
    const BrokenFileCase c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("broken.log"));
    QByteArray bytes = countBytes(c.count);
    for (int i = 0; i < c.records; ++i)
        bytes += recordBytes(sampleRow("某"));
    SendLogRow stale = sampleRow("殘");
    bytes += recordBytes(stale).left(c.extraBytes);
    writeAll(file, bytes);

    CheckedModel<SendLogModel> model;
    int read = -1;
    qint32 announced = 0;
    ASSERT_TRUE(loadLogFile(file, model, &read, &announced)) << c.name;
    EXPECT_EQ(read, c.expectedRead) << c.name;
    EXPECT_EQ(announced, c.count) << c.name;
    EXPECT_EQ(model.rowCount(), c.expectedRead) << c.name;
    for (int i = 0; i < model.rowCount(); ++i)
        EXPECT_EQ(model.text(i, ColName), big5("某")) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Files, LogFileBrokenTest,
                         ::testing::Values(BrokenFileCase{"ends inside a record", 3, 2, 300, 2},
                                           BrokenFileCase{"ends after the count", 5, 0, 0, 0},
                                           // Below -1 is unfinished as -1 is: every whole record is read.
                                           BrokenFileCase{"negative count", -2, 2, 0, 2},
                                           BrokenFileCase{"count -7 and a cut record", -7, 3, 300, 3},
                                           BrokenFileCase{"more bytes than announced", 1, 2, 10, 1}));

TEST_F(LogFileTest, ReaderTellsACompleteFileFromAShortOne) {
    writeAll(path("short.log"), countBytes(2) + recordBytes(sampleRow("一")));
    LogFileReader reader(path("short.log"));
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.available(), 1);
    SendLogRow row;
    EXPECT_TRUE(reader.next(row));
    EXPECT_FALSE(reader.next(row));
    EXPECT_FALSE(reader.complete());
    EXPECT_EQ(incompleteLogMessage(reader.readCount(), reader.announced()),
              QStringLiteral("傳送紀錄檔案不完整：僅讀入 1 筆（檔案標示 2 筆）。"));
}

TEST_F(LogFileTest, BytesAfterTheAnnouncedRecordsAreDamageNamedByTheirCount) {
    const QByteArray whole = countBytes(1) + recordBytes(sampleRow("一"));
    struct {
        QByteArray bytes;
        bool damaged;
        const char* message;
    } cases[] = {
        {whole, false, ""},
        {whole + "xyz", true, "傳送紀錄檔案已損壞（結尾多出 3 位元組無法辨識的資料），已讀入 1 筆。"},
        {whole + recordBytes(sampleRow("二")), true,
         "傳送紀錄檔案已損壞（結尾多出 556 位元組無法辨識的資料），已讀入 1 筆。"},
        {countBytes(0) + "\x01", true, "傳送紀錄檔案已損壞（結尾多出 1 位元組無法辨識的資料），已讀入 0 筆。"},
        {countBytes(2) + recordBytes(sampleRow("一")), true, "傳送紀錄檔案不完整：僅讀入 1 筆（檔案標示 2 筆）。"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        writeAll(path("x.log"), c.bytes);
        LogFileReader reader(path("x.log"));
        ASSERT_TRUE(reader.open());
        SendLogRow row;
        while (reader.next(row))
            EXPECT_EQ(row.texts[ColName], big5("一")) << "only the announced records are rows";
        EXPECT_EQ(reader.damaged(), c.damaged) << c.bytes.size();
        EXPECT_EQ(reader.damageMessage(), QString::fromUtf8(c.message));
    }
}

TEST_F(LogFileTest, UnreadableFilesDoNotOpen) {
    writeAll(path("tiny.log"), QByteArray("\x01\x00", 2));
    EXPECT_FALSE(LogFileReader(path("tiny.log")).open()) << "too short for its count";
    EXPECT_FALSE(LogFileReader(path("missing.log")).open());
}

TEST_F(LogFileTest, FailedSaveLeavesTheExistingFileAlone) {
    CheckedModel<SendLogModel> model;
    model.addRow(sampleRow("一"));
    EXPECT_FALSE(saveLogFile(path("no/such/folder/x.log"), model));

    writeAll(path("keep.log"), "old");
    LogFileWriter writer(path("keep.log"));
    ASSERT_TRUE(writer.open(1));
    writer.write(model.row(0));
    EXPECT_EQ(readAll(path("keep.log")), QByteArray("old")) << "nothing replaces the file before commit";
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readAll(path("keep.log")).size(), 4 + 556);
}
