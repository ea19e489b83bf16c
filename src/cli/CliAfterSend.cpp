#include "cli/CliAfterSend.h"

#include "cli/CliCommands.h"
#include "cli/CliInput.h"
#include "cli/CliRunLog.h"
#include "cli/CliSetup.h"

#include "core/sendlog/LogCsv.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/TableFileWriter.h"
#include "core/shared/Clock.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "core/shared/XlsxWriter.h"
#include "core/workers/MonthUsage.h"
#include "core/workers/UndeliveredList.h"

namespace norvi::cli {

namespace {

CsvEncoding tableEncoding(const Arguments& a) {
    return a.has(QStringLiteral("--big5")) ? CsvEncoding::Big5 : CsvEncoding::Utf8WithBom;
}

// Standard output takes the list in pieces of about this size rather than a write a line.
constexpr qsizetype kStdoutPiece = qsizetype(64) * 1024;

QString changedLogText(const QString& path) {
    return QStringLiteral("傳送紀錄檔案 %1 在讀取時被更改，請再試一次。").arg(path);
}

// Refused before anything is read: --out or --xlsx names one of the program's own files, or the log being read.
bool refusedOut(const Arguments& a, const QString& source, Console& console) {
    for (const QString& option : {QStringLiteral("--out"), QStringLiteral("--xlsx")}) {
        if (!a.values.contains(option))
            continue;
        const QString out = a.value(option);
        QString refusal = OutputRefusal(out);
        if (refusal.isEmpty() && !source.isEmpty() && SameFile(out, source))
            refusal = QStringLiteral("不能寫到正在讀取的傳送紀錄檔：%1").arg(out);
        if (!refusal.isEmpty()) {
            console.err(refusal);
            return true;
        }
    }
    return false;
}

// The list of a log read once, written from a second reading: to --out or --xlsx (replaced only once the
// whole list is written) or to standard output, a piece at a time.
int writeUndelivered(const UndeliveredCollector& collector, LogFileReader& reader, const QString& path,
                     const Arguments& a, Console& console) {
    const bool workbook = a.values.contains(QStringLiteral("--xlsx"));
    if (!workbook && !a.values.contains(QStringLiteral("--out"))) {
        const CsvEncoding encoding = tableEncoding(a);
        QByteArray piece = TextTableCsvStart(encoding) + TextTableCsvLine(UndeliveredHeader(), encoding);
        const UndeliveredCollector::Pass pass = collector.writeLines(reader, [&](const QStringList& line) {
            piece += TextTableCsvLine(line, encoding);
            if (piece.size() >= kStdoutPiece) {
                console.writeRaw(piece);
                piece.clear();
            }
            return true;
        });
        console.writeRaw(piece);
        if (pass == UndeliveredCollector::Pass::LogChanged) {
            console.err(changedLogText(path));
            return ExitRefused;
        }
        return ExitOk;
    }
    const QString out = a.value(workbook ? QStringLiteral("--xlsx") : QStringLiteral("--out"));
    TableFileWriter file(out, workbook ? TableFileWriter::Kind::Workbook : TableFileWriter::Kind::Csv,
                         tableEncoding(a));
    if (!file.open(UndeliveredHeader())) {
        console.err(file.errorString());
        return ExitNotSaved;
    }
    const UndeliveredCollector::Pass pass =
        collector.writeLines(reader, [&file](const QStringList& line) { return file.addRow(line); });
    if (pass == UndeliveredCollector::Pass::LogChanged) {
        console.err(changedLogText(path));
        return ExitRefused;
    }
    if (pass != UndeliveredCollector::Pass::Written || !file.commit()) {
        console.err(file.errorString());
        return ExitNotSaved;
    }
    return ExitOk;
}

} // namespace

int undelivered(const Arguments& a, Console& console) {
    QString path;
    if (!logArgument(a, &path, console))
        return ExitRefused;
    if (a.has(QStringLiteral("--json"))) {
        console.err(QStringLiteral("undelivered 沒有 --json。"));
        return ExitRefused;
    }
    QList<Delivery> classes = DefaultUndeliveredClasses();
    QString error;
    if (a.values.contains(QStringLiteral("--classes")) &&
        !ParseUndeliveredClasses(a.value(QStringLiteral("--classes")), &classes, &error)) {
        console.err(error);
        return ExitRefused;
    }
    if (a.values.contains(QStringLiteral("--out")) && a.values.contains(QStringLiteral("--xlsx"))) {
        console.err(QStringLiteral("--out 與 --xlsx 只能擇一。"));
        return ExitRefused;
    }
    if (refusedOut(a, path, console) || RefuseWhileUnfinished({path}, console))
        return ExitRefused;
    // Read whole before anything is written, so a refused file writes no part of a list. What is kept is a
    // number a message: the lines are made in a second pass, from the listed messages' latest rows, and go
    // out one at a time.
    UndeliveredCollector collector(classes);
    LogFileReader reader(path);
    if (!readEveryRecord(reader, path, console, [&collector](const SendLogRow& row) { collector.add(row); }))
        return ExitRefused;
    const int written = writeUndelivered(collector, reader, path, a, console);
    if (written != ExitOk)
        return written;
    QStringList names;
    for (Delivery d : classes)
        names << DeliveryName(d);
    console.err(QStringLiteral("未送達名單（%1）：%2 則訊息").arg(names.join(u'、')).arg(collector.listedCount()));
    if (reader.damaged()) {
        console.err(reader.damageMessage());
        return ExitFailed;
    }
    return ExitOk;
}

int usage(const Arguments& a, Config& config, Console& console) {
    if (!a.positional.isEmpty()) {
        console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.join(QLatin1Char(' '))));
        return ExitRefused;
    }
    if (a.has(QStringLiteral("--json")) && a.has(QStringLiteral("--big5"))) {
        console.err(QStringLiteral("--json 一律為 UTF-8，不能與 --big5 一起使用。"));
        return ExitRefused;
    }
    QDate month = Clock::now().date();
    QString error;
    if (a.values.contains(QStringLiteral("--month")) &&
        !ParseUsageMonth(a.value(QStringLiteral("--month")), &month, &error)) {
        console.err(error);
        return ExitRefused;
    }
    if (!loadConfiguration(config, console))
        return ExitRefused;
    QStringList logs;
    if (!UsageLogFiles(LogFolder(config), &logs, &error)) {
        console.err(error);
        return ExitRefused;
    }
    const MonthUsage counted = CountMonthUsage(month, logs);
    if (a.has(QStringLiteral("--json")))
        console.out(UsageJson(counted));
    else
        console.writeRaw(TextTableCsv(UsageTable(counted), tableEncoding(a)));
    // A total with logs missing from it says so, and says it is short.
    for (const QString& line : counted.unreadable)
        console.err(QStringLiteral("無法完整讀取的紀錄檔：%1").arg(line));
    if (counted.undated > 0)
        console.err(QStringLiteral("傳送時間無法辨識的紀錄 %1 筆未計入").arg(counted.undated));
    return counted.unreadable.isEmpty() ? ExitOk : ExitFailed;
}

} // namespace norvi::cli
