#include "core/sendlog/LogRecordCheck.h"
#include "support/FileBytes.h"

#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstring>
#include <functional>

using namespace norvi;

namespace {

SendLogRow goodRow() {
    SendLogRow row;
    row.texts[ColName] = big5("王小明");
    row.texts[ColMobile] = "0912345678";
    row.texts[ColSendTime] = "20240301093000";
    row.texts[ColSendCode] = "0";
    row.texts[ColSendResult] = big5("訊息已成功送出(MsgId:ABC123)");
    row.texts[ColContent] = big5("今晚七點開會");
    row.image = ImageMember;
    return row;
}

QByteArray fileOf(const std::vector<sLogRecord>& records, qint32 count) {
    const qint32 le = qToLittleEndian(count);
    QByteArray bytes(reinterpret_cast<const char*>(&le), sizeof le);
    for (const sLogRecord& r : records)
        bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    return bytes;
}

struct RecordCase {
    const char* name;
    std::function<void(sLogRecord&)> change;
    const char* fault; // empty: the record is a row
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.name;
}

class LogRecordFaultTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(LogRecordFaultTest, TakesWhatTheProgramWritesAndRefusesWhatItNeverDoes) {
    sLogRecord record = toLogRecord(goodRow());
    GetParam().change(record);
    const QString fault = LogRecordFault(record);
    EXPECT_EQ(fault, QString::fromUtf8(GetParam().fault));
}

void put(char* field, std::size_t width, const QByteArray& text) {
    putField(field, width, text);
}

const RecordCase kRecords[] = {
    {"untouched", [](sLogRecord&) {}, ""},
    {"list row image", [](sLogRecord& r) { r.image = ImageListRow; }, ""},
    {"typed image and reservation",
     [](sLogRecord& r) {
         r.image = ImageTyped;
         r.codeImage = ImageReservation;
     },
     ""},
    {"line breaks and tab in the message", [](sLogRecord& r) { put(r.content, sizeof r.content, "a\r\nb\tc\rd\ne"); },
     ""},
    {"lead byte cut by the name's width",
     [](sLogRecord& r) { put(r.name, sizeof r.name, QByteArray(99, 'x') + "\xA4"); }, ""},
    {"lead byte cut by the content's width",
     [](sLogRecord& r) { put(r.content, sizeof r.content, QByteArray(160, 'y') + "\xB1"); }, ""},
    {"gateway texts as received",
     [](sLogRecord& r) {
         put(r.sendResult, sizeof r.sendResult, "bad\x01\x1b[2Jreply\r\n");
         put(r.queryResult, sizeof r.queryResult, "\x7f\x02");
     },
     ""},
    {"stopped row with code -1",
     [](sLogRecord& r) {
         put(r.sendCode, sizeof r.sendCode, "-1");
         put(r.sendResult, sizeof r.sendResult, big5("未傳送：作業已中斷"));
     },
     ""},
    {"row before its answer", [](sLogRecord& r) { put(r.sendCode, sizeof r.sendCode, ""); }, ""},
    {"five-digit code cut to four", [](sLogRecord& r) { put(r.queryCode, sizeof r.queryCode, "12345"); }, ""},
    {"image 0", [](sLogRecord& r) { r.image = 0; }, "的圖示代碼 0 不明"},
    {"group image", [](sLogRecord& r) { r.image = ImageGroup; }, "的圖示代碼 12 不明"},
    {"no row image", [](sLogRecord& r) { r.image = -1; }, ""},
    {"reservation image for a row", [](sLogRecord& r) { r.image = ImageReservation; }, "的圖示代碼 16 不明"},
    {"code image 11", [](sLogRecord& r) { r.codeImage = ImageMember; }, "傳送碼欄的圖示代碼 11 不明"},
    {"letters in the time", [](sLogRecord& r) { put(r.sendTime, sizeof r.sendTime, "2024030109300a"); },
     "的傳送時間「2024030109300a」不是數字"},
    {"control byte in the time", [](sLogRecord& r) { put(r.sendTime, sizeof r.sendTime, "2024\x01"); },
     "的傳送時間「2024\\x01」不是數字"},
    {"tab in the number", [](sLogRecord& r) { put(r.msisdn, sizeof r.msisdn, "0912\t345"); },
     "的行動電話「0912\\x09345」含有控制字元"},
    {"escape in the name", [](sLogRecord& r) { put(r.name, sizeof r.name, "\x1b[31mX"); },
     "的名稱「\\x1B[31mX」含有控制字元"},
    {"letters in the send code", [](sLogRecord& r) { put(r.sendCode, sizeof r.sendCode, "1a"); },
     "的傳送碼「1a」不是數字"},
    {"a lone minus", [](sLogRecord& r) { put(r.sendCode, sizeof r.sendCode, "-"); }, "的傳送碼「-」不是數字"},
    {"two minus signs", [](sLogRecord& r) { put(r.queryCode, sizeof r.queryCode, "--1"); }, "的查詢碼「--1」不是數字"},
};

INSTANTIATE_TEST_SUITE_P(Records, LogRecordFaultTest, ::testing::ValuesIn(kRecords));

class LogFileCheckTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

TEST_F(LogFileCheckTest, FirstBadRecordRefusesTheWholeFileInEveryReader) {
    sLogRecord bad = toLogRecord(goodRow());
    bad.image = 0;
    const sLogRecord good = toLogRecord(goodRow());
    test::writeAll(path("bad.log"), fileOf({good, good, bad, bad}, 4));
    const QString said = QStringLiteral("不是發訊紀錄檔：第 3 筆紀錄的圖示代碼 0 不明。");

    const LogFileCheck check = CheckLogFile(path("bad.log"));
    EXPECT_TRUE(check.opened);
    EXPECT_EQ(check.refusal, said);

    FileOrderJobRows log;
    log.append(goodRow());
    QString damage;
    EXPECT_FALSE(log.load(path("bad.log"), &damage));
    EXPECT_EQ(damage, said);
    EXPECT_EQ(log.rows().size(), 1u) << "a refused file adds no row";

    test::writeAll(path("good.log"), fileOf({good, good}, 2));
    EXPECT_EQ(CheckLogFile(path("good.log")).refusal, QString());
    // A log cut by a crash keeps the count -1, and a stopped run leaves rows with code -1: a send log.
    SendLogRow stopped = goodRow();
    stopped.texts[ColSendCode] = "-1";
    stopped.texts[ColSendResult] = big5("已中斷：閘道未回覆，可能已送出");
    test::writeAll(path("crashed.log"), fileOf({good, toLogRecord(stopped)}, -1));
    EXPECT_TRUE(CheckLogFile(path("crashed.log")).opened);
    EXPECT_EQ(CheckLogFile(path("crashed.log")).refusal, QString());
    EXPECT_FALSE(CheckLogFile(path("missing.log")).opened);
}

// Whatever the bytes, a file is refused or gives rows that pass every rule: never rows of control
// characters in the name, number, time or codes.
void expectRefusedOrValid(const QByteArray& bytes, const std::string& what) {
    QBuffer buffer;
    buffer.setData(bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    LogFileReader reader(buffer);
    if (!reader.open())
        return;
    SendLogRow row;
    while (reader.next(row)) {
        const sLogRecord again = toLogRecord(row);
        EXPECT_EQ(LogRecordFault(again), QString()) << what;
        for (int c : {ColName, ColMobile, ColSendTime, ColSendCode, ColQueryCode})
            EXPECT_LT(firstControlByte(row.texts[c]), 0) << what;
    }
    if (reader.refused()) {
        EXPECT_TRUE(reader.refusal().startsWith(QStringLiteral("不是發訊紀錄檔：第 %1 筆").arg(reader.readCount() + 1)))
            << what;
    }
}

TEST(HostileLogFileTest, RandomAndCorpusFilesAreRefusedOrLoadOnlyValidRows) {
    QRandomGenerator random(26);
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        const int records = int(random.bounded(1, 6));
        QByteArray bytes(4 + records * int(sizeof(sLogRecord)), '\0');
        for (char& b : bytes)
            b = char(random.bounded(256));
        // A plausible count, and in half the files the images a real row has.
        qToLittleEndian<qint32>(records, bytes.data());
        for (int k = 0; k < records && i % 2; ++k) {
            bytes[4 + k * int(sizeof(sLogRecord))] = char(ImageTyped);
            bytes[4 + k * int(sizeof(sLogRecord)) + 146] = char(-1);
        }
        expectRefusedOrValid(bytes, "random file " + std::to_string(i));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        refused += CheckLogFile(buffer).refusal.isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(refused, 300) << "random records never pass as rows";

    int files = 0;
    QDirIterator corpus(QStringLiteral(NORVI_FUZZ_CORPUS), QDir::Files, QDirIterator::Subdirectories);
    while (corpus.hasNext()) {
        const QString file = corpus.next();
        expectRefusedOrValid(test::readAll(file), file.toStdString());
        ++files;
    }
    EXPECT_GT(files, 20);
}

struct EscapeCase {
    const char* text;
    const char* shown;
    const char* shownKeepingLines;
};

TEST(ShownTextTest, ControlCharactersShowAsHexEscapes) {
    const EscapeCase cases[] = {
        {"plain 文字", "plain 文字", "plain 文字"},
        {"a\x01"
         "b",
         "a\\x01b", "a\\x01b"},
        {"line\nbreak\r", "line\\x0Abreak\\x0D", "line\nbreak\\x0D"},
        {"\x1b[2J\x7f", "\\x1B[2J\\x7F", "\\x1B[2J\\x7F"},
        {"c1 \xc2\x9b", "c1 \\x9B", "c1 \\x9B"},
    };
    for (const EscapeCase& c : cases) {
        EXPECT_EQ(escapeControls(QString::fromUtf8(c.text)), QString::fromUtf8(c.shown)) << c.text;
        EXPECT_EQ(escapeControlsKeepLines(QString::fromUtf8(c.text)), QString::fromUtf8(c.shownKeepingLines)) << c.text;
    }
    EXPECT_EQ(shownBig5(QByteArray("\x01") + big5("中")), QStringLiteral("\\x01中"));
}

} // namespace
