// A ".log" file as the program reads it. Whatever the bytes: rows come only from complete records within
// the announced count (every complete record of a file announcing -1, whose writer never finished it) that pass
// LogRecordFault (a record that does not refuses the file, named; in a file announcing -1 the faulty records at
// its end are set aside instead, as a power cut leaves them), no text runs past its field or holds a zero
// byte, a file with fewer records or more bytes than announced is damaged (and says how), and the rows save to a
// file that loads back whole as the same rows. A whole file whose fields are zero-filled past their text saves to
// its own bytes. The rows also go through what reads their cells: the list's sort on every column, the code and
// MsgId readers, and the spreadsheet export, which must give back each cell (raw) or guard it with one "'".

#include "FuzzCheck.h"

#include "../tests/support/CsvReader.h"
#include "core/sendlog/LogCsv.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecordCheck.h"
#include "core/sendlog/SendLogModel.h"
#include "core/workers/RowCodes.h"

#include <QBuffer>
#include <QtEndian>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace norvi;

namespace {

constexpr std::size_t kWidths[kSendLogColumns] = {100, 30, 15, 4, 120, 4, 120, 161};

QByteArray saved(const std::vector<SendLogRow>& rows) {
    const qint32 count = qToLittleEndian(qint32(rows.size()));
    QByteArray bytes(reinterpret_cast<const char*>(&count), sizeof count);
    for (const SendLogRow& row : rows) {
        const sLogRecord record = toLogRecord(row);
        bytes.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    return bytes;
}

// What a reader made of a file's bytes.
struct Loaded {
    bool opened = false;
    std::vector<SendLogRow> rows;
    qint32 announced = 0;
    int readCount = 0;
    int damagedTail = 0;
    bool damaged = false;
    bool refused = false;
    QString message;
};

Loaded load(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LogFileReader reader(buffer);
    Loaded loaded;
    loaded.opened = reader.open();
    if (!loaded.opened)
        return loaded;
    SendLogRow row;
    while (reader.next(row))
        loaded.rows.push_back(row);
    loaded.announced = reader.announced();
    loaded.readCount = reader.readCount();
    loaded.damagedTail = reader.damagedTail();
    loaded.damaged = reader.damaged();
    loaded.refused = reader.refused();
    loaded.message = reader.damageMessage();
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Loaded loaded = load(bytes);
    if (!loaded.opened) {
        FUZZ_CHECK(size < 4); // only a file too short for its count does not open
        return 0;
    }
    const std::vector<SendLogRow>& rows = loaded.rows;
    const qint32 announced = loaded.announced;
    FUZZ_CHECK(rows.size() == std::size_t(loaded.readCount));
    // A file announcing a negative count was written as a run went and never finished: all its whole records
    // count.
    const qint64 wholeRecords = (qint64(size) - 4) / qint64(sizeof(sLogRecord));
    FUZZ_CHECK(loaded.readCount <= (announced < 0 ? wholeRecords : qint64(announced)));
    if (announced < 0 && !loaded.refused) {
        FUZZ_CHECK(loaded.readCount + loaded.damagedTail == wholeRecords);
        for (qint64 i = loaded.readCount; i < wholeRecords; ++i) {
            sLogRecord set;
            std::memcpy(&set, bytes.constData() + 4 + i * qint64(sizeof set), sizeof set);
            FUZZ_CHECK(!LogRecordFault(set).isEmpty());
        }
    } else if (announced >= 0) {
        FUZZ_CHECK(loaded.damagedTail == 0);
    }
    FUZZ_CHECK(4 + qint64(rows.size()) * qint64(sizeof(sLogRecord)) <= qint64(size));
    FUZZ_CHECK(loaded.damaged == !loaded.message.isEmpty());
    if (loaded.refused) {
        FUZZ_CHECK(loaded.damaged && loaded.message.startsWith(QStringLiteral("不是發訊紀錄檔")));
        sLogRecord bad;
        std::memcpy(&bad, bytes.constData() + 4 + qint64(rows.size()) * qint64(sizeof bad), sizeof bad);
        FUZZ_CHECK(!LogRecordFault(bad).isEmpty());
    } else {
        FUZZ_CHECK(loaded.damaged ==
                   (announced < 0 || qint64(size) != 4 + qint64(announced) * qint64(sizeof(sLogRecord))));
    }

    bool canonical = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SendLogRow& row = rows[i];
        for (int c = 0; c < kSendLogColumns; ++c) {
            FUZZ_CHECK(std::size_t(row.texts[c].size()) <= kWidths[c]);
            FUZZ_CHECK(!row.texts[c].contains('\0'));
        }
        const char* original = bytes.constData() + 4 + qint64(i) * qint64(sizeof(sLogRecord));
        const sLogRecord again = toLogRecord(row);
        FUZZ_CHECK(LogRecordFault(again).isEmpty());
        // The image bytes are kept exactly; the texts up to their first zero.
        FUZZ_CHECK(std::memcmp(&again.image, original, 1) == 0);
        FUZZ_CHECK(std::memcmp(&again.codeImage, original + 146, 1) == 0);
        canonical = canonical && std::memcmp(&again, original, sizeof again) == 0;

        int code = 0;
        if (RowCodes::parse(row.texts[ColSendCode], &code)) {
            int back = 0;
            FUZZ_CHECK(RowCodes::parse(QByteArray::number(code), &back) && back == code);
        }
        QByteArray msgId;
        if (RowCodes::msgIdFromResult(row.texts[ColSendResult], &msgId))
            FUZZ_CHECK(row.texts[ColSendResult].contains(QByteArray("MsgId:" + msgId)));
    }

    // Saved and loaded again: the same rows, and a whole file.
    const QByteArray out = saved(rows);
    if (!loaded.damaged && canonical)
        FUZZ_CHECK(out == bytes);
    const Loaded back = load(out);
    FUZZ_CHECK(back.opened && !back.damaged);
    FUZZ_CHECK(back.rows.size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FUZZ_CHECK(back.rows[i].texts == rows[i].texts);
        FUZZ_CHECK(back.rows[i].image == rows[i].image && back.rows[i].codeImage == rows[i].codeImage);
    }

    // The list view's sort, column by column, both ways: every row stays, none is made up.
    SendLogModel model;
    for (const SendLogRow& row : rows)
        model.addRow(row);
    for (int column = 0; column < kSendLogColumns; ++column) {
        model.columnClick(column);
        model.columnClick(column);
        FUZZ_CHECK(model.rowCount() == int(rows.size()));
    }

    // The spreadsheet export gives back each cell as stored (Big5) and stays text in UTF-8.
    const test::CsvTable table = test::readCsv(LogCsv(rows, CsvEncoding::Big5, CsvCells::Raw));
    const test::CsvTable safe = test::readCsv(LogCsv(rows, CsvEncoding::Big5));
    FUZZ_CHECK(table.ok && table.records.size() == qsizetype(rows.size()) + 1);
    FUZZ_CHECK(safe.ok && safe.records.size() == table.records.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int c = 0; c < kSendLogColumns; ++c) {
            const QByteArray& cell = rows[i].texts[c];
            const QByteArray guarded = safe.records[qsizetype(i) + 1].value(c);
            FUZZ_CHECK(table.records[qsizetype(i) + 1].value(c) == cell);
            FUZZ_CHECK(guarded == cell || guarded == QByteArray(1, '\'').append(cell));
        }
    const QByteArray utf8 = LogCsv(rows, CsvEncoding::Utf8WithBom);
    FUZZ_CHECK(utf8.startsWith("\xEF\xBB\xBF"));
    const QByteArray afterMark = utf8.mid(3);
    FUZZ_CHECK(QString::fromUtf8(afterMark).toUtf8() == afterMark);
    return 0;
}
