#include "core/workers/MonthUsage.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecord.h"
#include "core/shared/SystemErrorText.h"
#include "core/workers/RowCodes.h"
#include "core/workers/StopRows.h"

#include <QDir>
#include <QFileInfo>
#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>

namespace norvi {

namespace {

// The delivery classes as a table heads them: beside the send's own 失敗 and 不確定 they need their own words.
const char* const kDeliveryHeads[kDeliveryClasses] = {"已送達", "處理中", "預約中", "送達失敗", "未查詢", "送達不確定"};

// "yyyyMMdd..." read by hand: a month of a million rows is read here, and QDate::fromString would be most of it.
bool rowDate(const QByteArray& time, int* year, int* month, int* day) {
    if (time.size() < 8)
        return false;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        const char c = time.at(i);
        if (c < '0' || c > '9')
            return false;
        v[i] = c - '0';
    }
    *year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    *month = v[4] * 10 + v[5];
    *day = v[6] * 10 + v[7];
    return QDate::isValid(*year, *month, *day);
}

QJsonObject countsJson(const UsageCounts& c) {
    QJsonObject delivery;
    for (int i = 0; i < kDeliveryClasses; ++i)
        delivery.insert(DeliveryName(Delivery(i)), c.delivery[std::size_t(i)]);
    return QJsonObject{{QStringLiteral("shortMessages"), c.shortMessages},
                       {QStringLiteral("sent"), c.sent},
                       {QStringLiteral("failed"), c.failed},
                       {QStringLiteral("uncertain"), c.uncertain},
                       {QStringLiteral("delivery"), delivery}};
}

QStringList countsLine(const QString& first, const UsageCounts& c) {
    QStringList line{first, QString::number(c.shortMessages), QString::number(c.sent), QString::number(c.failed),
                     QString::number(c.uncertain)};
    for (int n : c.delivery)
        line << QString::number(n);
    return line;
}

} // namespace

quint8 UsageKindOf(const SendLogRow& row) {
    const QByteArray& code = row.texts[ColSendCode];
    if (RowCodes::valueOr(code) == 0)
        return quint8(ClassifyDelivery(DeliveryCellsOf(row)));
    return StopRows::isUncertain(code, row.texts[ColSendResult]) ? kUsageUncertain : kUsageFailed;
}

void UsageCounts::add(quint8 kind) {
    ++shortMessages;
    if (kind == kUsageFailed) {
        ++failed;
    } else if (kind == kUsageUncertain) {
        ++uncertain;
    } else {
        ++sent;
        ++delivery[std::size_t(kind)];
    }
}

UsageCounts& UsageCounts::operator+=(const UsageCounts& other) {
    shortMessages += other.shortMessages;
    sent += other.sent;
    failed += other.failed;
    uncertain += other.uncertain;
    for (std::size_t i = 0; i < delivery.size(); ++i)
        delivery[i] += other.delivery[i];
    return *this;
}

bool UsageCounts::operator==(const UsageCounts& other) const {
    return shortMessages == other.shortMessages && sent == other.sent && failed == other.failed &&
           uncertain == other.uncertain && delivery == other.delivery;
}

namespace {

// A short message as a row records its sending (the cells no later query changes), as two 64-bit hashes of
// different seeds: a month may hold a million rows, too many to keep their texts, and two different rows
// hashing alike in both is not to be met.
struct SentRowKey {
    quint64 a = 0;
    quint64 b = 0;
    bool operator==(const SentRowKey& o) const { return a == o.a && b == o.b; }
    bool operator<(const SentRowKey& o) const { return a != o.a ? a < o.a : b < o.b; }
};

SentRowKey sentKey(const SendLogRow& row) {
    // On the stack: a record's cells fit, and a month's million keys cost no allocation.
    QVarLengthArray<char, sizeof(sLogRecord) + kSendLogColumns> key;
    for (int column : {ColMobile, ColSendTime, ColSendCode, ColSendResult, ColContent, ColName}) {
        const QByteArray& cell = row.texts[std::size_t(column)];
        key.append(cell.constData(), cell.size());
        key.append('\0');
    }
    return {quint64(qHashBits(key.constData(), std::size_t(key.size()), 0x6e6f727669u)),
            quint64(qHashBits(key.constData(), std::size_t(key.size()), 0x75736167u))};
}

// How much a copy of a row knows of its message: an answer that will not change, one that may, or none.
quint8 knowledge(quint8 kind) {
    if (kind >= kDeliveryClasses || Delivery(kind) == Delivery::NotAsked)
        return 0;
    return IsFinalDelivery(Delivery(kind)) ? 2 : 1;
}

// One row of the month as a source (a log, or the list) holds it.
struct SourceRow {
    SentRowKey key;
    qint32 source; // in the order read; the list last
    qint8 day;     // of the month from 0; -1 for a 傳送時間 that is no date
    quint8 kind;
};

// Whether `row` says more of its message than `counted`, an earlier source's copy: its answer knows more, or as
// much from a source written since (`newness`, by source).
bool speaksFor(const SourceRow& row, const SourceRow& counted, const std::vector<qint64>& newness) {
    const quint8 knows = knowledge(row.kind);
    const quint8 known = knowledge(counted.kind);
    return knows != known ? knows > known : newness[std::size_t(row.source)] >= newness[std::size_t(counted.source)];
}

// Counts each short message once: the rows of one key are copies of one another across sources, and the n-th of
// one source's identical rows is the n-th message of them (two identical rows of one log are two messages).
void countOnce(std::vector<SourceRow>& rows, const std::vector<qint64>& newness, MonthUsage& usage) {
    // A key's rows, source by source; within one source they are alike but for an answer, in whatever order.
    std::sort(rows.begin(), rows.end(), [](const SourceRow& x, const SourceRow& y) {
        return x.key == y.key ? x.source < y.source : x.key < y.key;
    });
    std::vector<SourceRow> messages; // of one key
    for (std::size_t first = 0; first < rows.size();) {
        messages.clear();
        std::size_t next = first;
        std::size_t n = 0;
        for (; next < rows.size() && rows[next].key == rows[first].key; ++next) {
            n = next > first && rows[next].source == rows[next - 1].source ? n + 1 : 0;
            if (n == messages.size())
                messages.push_back(rows[next]);
            else if (speaksFor(rows[next], messages[n], newness))
                messages[n] = rows[next];
        }
        for (const SourceRow& message : messages) {
            if (message.day < 0)
                ++usage.undated;
            else
                usage.days[message.day].add(message.kind);
        }
        first = next;
    }
}

} // namespace

MonthUsage CountMonthUsage(const QDate& month, const QStringList& logFiles, const std::vector<SendLogRow>& listRows) {
    MonthUsage usage;
    usage.month = QDate(month.year(), month.month(), 1);
    usage.days.resize(usage.month.daysInMonth());
    // A row may stand in several sources: a log and the copy `finish --out` made of it (or any other copy),
    // the list and the log it was loaded from or saved to. It is one short message, counted once with what
    // the copy that knows most of it says; the list, the newest, says it when the copies know as much.
    std::vector<qint64> newness;
    for (const QString& path : logFiles)
        newness.push_back(QFileInfo(path).lastModified().toMSecsSinceEpoch());
    newness.push_back(std::numeric_limits<qint64>::max());
    std::vector<SourceRow> rows;
    // Room for every row at once, as the logs announce them: a month of a million rows is never copied.
    std::size_t announced = listRows.size();
    for (const QString& path : logFiles) {
        LogFileReader reader(path);
        if (reader.open())
            announced += std::size_t(reader.available());
    }
    rows.reserve(announced);
    const auto take = [&usage, &rows](qint32 source, const SendLogRow& row) {
        int year = 0, mon = 0, day = 0;
        if (!rowDate(row.texts[ColSendTime], &year, &mon, &day))
            rows.push_back({sentKey(row), source, -1, UsageKindOf(row)});
        else if (year == usage.month.year() && mon == usage.month.month())
            rows.push_back({sentKey(row), source, qint8(day - 1), UsageKindOf(row)});
    };
    for (qint32 source = 0; source < logFiles.size(); ++source) {
        const QString& path = logFiles.at(source);
        LogFileReader reader(path);
        if (!reader.open()) {
            const QString why = reader.errorString();
            usage.unreadable << path + QStringLiteral("：") +
                                    (why.isEmpty() ? QStringLiteral("檔案太短，不是發訊紀錄檔") : why);
            continue;
        }
        // A file refused part-way (no send log after all) adds none of its rows.
        const std::size_t before = rows.size();
        SendLogRow row;
        while (reader.next(row))
            take(source, row);
        if (reader.refused()) {
            rows.resize(before);
            usage.unreadable << path + QStringLiteral("：") + reader.refusal();
            continue;
        }
        if (reader.damaged())
            usage.unreadable << path + QStringLiteral("：") + reader.damageMessage();
        ++usage.logsRead;
    }
    for (const SendLogRow& row : listRows)
        take(qint32(logFiles.size()), row);
    countOnce(rows, newness, usage);
    for (const UsageCounts& day : usage.days)
        usage.total += day;
    return usage;
}

bool UsageLogFiles(const QString& folder, QStringList* files, QString* error) {
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir() || !dir.isReadable()) {
        *error = QStringLiteral("無法讀取紀錄檔目錄：%1").arg(folder);
        return false;
    }
    files->clear();
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name))
        if (!info.fileName().startsWith(QLatin1String("norvi-journal-")))
            files->append(info.filePath());
    return true;
}

bool ParseUsageMonth(const QString& text, QDate* month, QString* error) {
    const QStringList parts = text.trimmed().split(u'-');
    bool yearOk = false, monthOk = false;
    const int y = parts.value(0).toInt(&yearOk);
    const int m = parts.value(1).toInt(&monthOk);
    if (parts.size() != 2 || parts.at(0).size() != 4 || !yearOk || !monthOk || !QDate::isValid(y, m, 1)) {
        *error = QStringLiteral("月份格式錯誤：%1（請寫成 2026-12）").arg(text);
        return false;
    }
    *month = QDate(y, m, 1);
    return true;
}

TextTable UsageTable(const MonthUsage& usage) {
    TextTable table;
    table.header = QStringList{QStringLiteral("日期"), QStringLiteral("簡訊通數"), QStringLiteral("傳送成功"),
                               QStringLiteral("傳送失敗"), QStringLiteral("不確定")};
    for (const char* head : kDeliveryHeads)
        table.header << QString::fromUtf8(head);
    for (int d = 0; d < usage.days.size(); ++d)
        table.rows.push_back(countsLine(usage.month.addDays(d).toString(QStringLiteral("yyyy/MM/dd")), usage.days[d]));
    table.rows.push_back(countsLine(QStringLiteral("合計"), usage.total));
    return table;
}

QString UsageJson(const MonthUsage& usage) {
    QJsonArray days;
    for (int d = 0; d < usage.days.size(); ++d) {
        QJsonObject day = countsJson(usage.days[d]);
        day.insert(QStringLiteral("date"), usage.month.addDays(d).toString(Qt::ISODate));
        days.append(day);
    }
    const QJsonObject all{{QStringLiteral("month"), usage.month.toString(QStringLiteral("yyyy-MM"))},
                          {QStringLiteral("days"), days},
                          {QStringLiteral("total"), countsJson(usage.total)},
                          {QStringLiteral("logsRead"), usage.logsRead},
                          {QStringLiteral("undated"), usage.undated},
                          {QStringLiteral("unreadable"), QJsonArray::fromStringList(usage.unreadable)}};
    return QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Compact));
}

} // namespace norvi
