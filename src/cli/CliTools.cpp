#include "cli/CliTools.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliOutput.h"
#include "cli/CliRunLog.h"

#include "core/compose/MessageCount.h"
#include "core/compose/SegmentMessage.h"
#include "core/sendlog/LogCsv.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "core/shared/XlsxWriter.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/MessageHistory.h"

namespace norvi::cli {

namespace {

CsvEncoding csvEncoding(const Arguments& a) {
    return a.switches.contains(QStringLiteral("--big5")) ? CsvEncoding::Big5 : CsvEncoding::Utf8WithBom;
}

// The counts as log2csv writes a table: its encoding, its byte-order mark, every cell through its guard.
QByteArray countsCsv(const DeliveryCounts& counts, CsvEncoding encoding) {
    QByteArray bytes = encoding == CsvEncoding::Utf8WithBom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    for (const QString& line : counts.csv().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        std::vector<QByteArray> fields;
        for (const QString& cell : line.split(u','))
            fields.push_back(SpreadsheetSafeCell(encoding == CsvEncoding::Big5 ? big5(cell) : cell.toUtf8()));
        bytes += CsvLine(fields);
    }
    return bytes;
}

// The rows as a workbook of text cells. A workbook is written whole, so the rows are gathered first; a log
// changed or damaged while it was read writes no workbook rather than a part of one.
int logToWorkbook(LogFileReader& reader, const QString& out, Console& console) {
    std::vector<QStringList> rows;
    SendLogRow row;
    while (reader.next(row))
        rows.push_back(LogSheetRow(row));
    if (reader.refused()) {
        console.err(reader.refusal());
        return ExitRefused;
    }
    QString error;
    if (!WriteXlsxTable(out, LogSheetHeader(), rows, &error)) {
        console.err(error);
        return ExitRefused;
    }
    if (reader.damaged()) {
        console.err(reader.damageMessage());
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

// One reading, since nothing is printed before the end: a refused file prints nothing, a cut one the
// counts of its whole records (exit 2, as log2csv).
int report(const Arguments& a, Console& console) {
    QString path;
    if (!logArgument(a, &path, console))
        return ExitRefused;
    if (a.has(QStringLiteral("--json")) && a.has(QStringLiteral("--big5"))) {
        console.err(QStringLiteral("--json 一律為 UTF-8，不能與 --big5 一起使用。"));
        return ExitRefused;
    }
    if (RefuseWhileUnfinished({path}, console))
        return ExitRefused;
    // Each message once, by its latest row.
    MessageCounter messages;
    LogFileReader reader(path);
    if (!readEveryRecord(reader, path, console, [&messages](const SendLogRow& row) { messages.add(row); }))
        return ExitRefused;
    const DeliveryCounts counts = messages.counts();
    if (a.has(QStringLiteral("--json")))
        console.out(counts.json());
    else
        console.writeRaw(countsCsv(counts, csvEncoding(a)));
    if (reader.damaged()) {
        console.err(reader.damageMessage());
        return ExitFailed;
    }
    return ExitOk;
}

// The rows are read and written a piece at a time: a log of a million rows costs no more memory than one
// of ten.
int log2csv(const Arguments& a, Console& console) {
    if (a.positional.size() != 1 || a.positional.first().trimmed().isEmpty()) {
        console.err(QStringLiteral("請指定一個傳送紀錄檔。"));
        return ExitRefused;
    }
    const QString path = a.positional.first();
    // Read once before anything is written, so a refused file prints no part of its rows.
    {
        LogFileReader check(path);
        if (!readEveryRecord(check, path, console))
            return ExitRefused;
    }
    LogFileReader reader(path);
    if (!reader.open()) {
        console.err(WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + path, reader.errorString()));
        return ExitRefused;
    }
    if (a.values.contains(QStringLiteral("--xlsx"))) {
        // The workbook replaces its file once written: over the log itself it would leave no log.
        const QString out = a.value(QStringLiteral("--xlsx"));
        if (SameFile(out, path)) {
            console.err(QStringLiteral("不能寫到正在讀取的傳送紀錄檔：%1").arg(out));
            return ExitRefused;
        }
        return logToWorkbook(reader, out, console);
    }
    const CsvEncoding encoding = csvEncoding(a);
    const CsvCells cells = a.switches.contains(QStringLiteral("--raw")) ? CsvCells::Raw : CsvCells::SpreadsheetSafe;
    constexpr qsizetype kPiece = 1024 * 1024;
    QByteArray piece = LogCsvHeader(encoding);
    SendLogRow row;
    while (reader.next(row)) {
        piece += LogCsvRow(row, encoding, cells);
        if (piece.size() >= kPiece) {
            console.writeRaw(piece);
            piece.resize(0);
        }
    }
    console.writeRaw(piece);
    if (reader.refused()) {
        // Changed since it was checked: what was written is cut short, and said to be.
        console.err(reader.refusal());
        return ExitRefused;
    }
    if (reader.damaged()) {
        console.err(reader.damageMessage());
        return ExitFailed;
    }
    return ExitOk;
}

int segmentCommand(const Arguments& a, Console& console) {
    if (!a.positional.isEmpty()) {
        console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.join(QLatin1Char(' '))));
        return ExitRefused;
    }
    MessageText message;
    if (!readMessageText(a, &message, console))
        return ExitRefused;
    QByteArray bytes = message.raw;
    if (!message.isRaw && !toBig5Argument(message.text, &bytes, console))
        return ExitRefused;
    const Segments segments = segment(bytes);
    // The tail of a text too long for six short messages is not sent: said as the send dialog says it.
    const int dropped = DroppedCharacters(fromBig5(bytes), segments);
    if (dropped > 0)
        console.err(CountLabelText(segments.count, dropped));
    console.out(QString::number(segments.count));
    for (int k = 1; k <= segments.count; ++k)
        console.out(escapeCell(fromBig5(segmentText(segments.block, k))));
    return ExitOk;
}

} // namespace norvi::cli
