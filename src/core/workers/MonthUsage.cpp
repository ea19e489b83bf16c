#include "core/workers/MonthUsage.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/SystemErrorText.h"
#include "core/workers/RowCodes.h"
#include "core/workers/StopRows.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

void UsageCounts::add(const SendLogRow& row) {
    ++shortMessages;
    const QByteArray& code = row.texts[ColSendCode];
    if (RowCodes::valueOr(code) == 0) {
        ++sent;
        ++delivery[std::size_t(ClassifyDelivery(DeliveryCellsOf(row)))];
    } else if (StopRows::isUncertain(code, row.texts[ColSendResult])) {
        ++uncertain;
    } else {
        ++failed;
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

// A short message as a row records its sending: the cells no later query changes.
QByteArray sentKey(const SendLogRow& row) {
    QByteArray key;
    for (int column : {ColMobile, ColSendTime, ColSendCode, ColSendResult, ColContent, ColName})
        key += row.texts[std::size_t(column)] + '\0';
    return key;
}

} // namespace

MonthUsage CountMonthUsage(const QDate& month, const QStringList& logFiles, const std::vector<SendLogRow>& listRows) {
    // The list's rows may also stand in a log of the folder (it was loaded from one, or saved to one and changed
    // since): there they are counted once, as the list has them now.
    QHash<QByteArray, int> inList;
    for (const SendLogRow& row : listRows)
        ++inList[sentKey(row)];
    MonthUsage usage;
    usage.month = QDate(month.year(), month.month(), 1);
    usage.days.resize(usage.month.daysInMonth());
    const auto count = [&usage](MonthUsage& into, const SendLogRow& row) {
        int year = 0, mon = 0, day = 0;
        if (!rowDate(row.texts[ColSendTime], &year, &mon, &day))
            ++into.undated;
        else if (year == usage.month.year() && mon == usage.month.month())
            into.days[day - 1].add(row);
    };
    for (const QString& path : logFiles) {
        LogFileReader reader(path);
        if (!reader.open()) {
            const QString why = reader.errorString();
            usage.unreadable << path + QStringLiteral("：") +
                                    (why.isEmpty() ? QStringLiteral("檔案太短，不是發訊紀錄檔") : why);
            continue;
        }
        // Counted apart first: a file refused part-way (no send log after all) adds none of its rows.
        MonthUsage one;
        one.days.resize(usage.days.size());
        SendLogRow row;
        QHash<QByteArray, int> listed = inList; // each list row stands for one row of a file
        while (reader.next(row)) {
            if (!listed.isEmpty()) {
                const auto found = listed.find(sentKey(row));
                if (found != listed.end()) {
                    if (--found.value() == 0)
                        listed.erase(found);
                    continue;
                }
            }
            count(one, row);
        }
        if (reader.refused()) {
            usage.unreadable << path + QStringLiteral("：") + reader.refusal();
            continue;
        }
        if (reader.damaged())
            usage.unreadable << path + QStringLiteral("：") + reader.damageMessage();
        ++usage.logsRead;
        usage.undated += one.undated;
        for (int d = 0; d < usage.days.size(); ++d)
            usage.days[d] += one.days[d];
    }
    for (const SendLogRow& row : listRows)
        count(usage, row);
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
