#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/shared/TextTable.h"
#include "core/workers/DeliveryClass.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <vector>

namespace norvi {

// A row as the usage counts it: an accepted row's delivery class (a Delivery), or one of these.
constexpr quint8 kUsageFailed = kDeliveryClasses;        // refused, or never sent (未傳送)
constexpr quint8 kUsageUncertain = kDeliveryClasses + 1; // went out unanswered ("可能已送出")
quint8 UsageKindOf(const SendLogRow& row);

// What a span of time cost and what became of it, counted over send-log rows: each row is one short message as
// the program handed it to the gateway, whatever its text.
struct UsageCounts {
    int shortMessages = 0;                        // every row
    int sent = 0;                                 // 傳送碼 0: accepted by the gateway
    int failed = 0;                               // refused, or never sent (未傳送)
    int uncertain = 0;                            // went out unanswered ("可能已送出")
    std::array<int, kDeliveryClasses> delivery{}; // the accepted rows by what their queries say (ClassifyDelivery)

    void add(quint8 kind); // UsageKindOf a row
    UsageCounts& operator+=(const UsageCounts& other);
    bool operator==(const UsageCounts& other) const;
};

// The month's usage: a count per day, the month's total, and the logs that could not be read (or only in part),
// each named with why, so a figure is never quietly short.
struct MonthUsage {
    QDate month;               // its first day
    QVector<UsageCounts> days; // one per day of the month, the 1st first
    UsageCounts total;
    int logsRead = 0;       // logs whose rows were counted (in whole or in part)
    int undated = 0;        // rows of those logs whose 傳送時間 is no date
    QStringList unreadable; // "path：why", one per log not read whole
};

// Counts the rows of every log in `logFiles` and the rows `listRows` (the desktop's list not saved yet) whose
// 傳送時間 falls in `month`. A row that several of them hold (the same number, time, send result, text and name:
// a log and its copy, or the list and its log) is one short message, counted once with the answer of the copy
// that knows most (a final answer, then any answer; between equals, the newest file's, and the list's over any
// file's); identical rows of one of them are as many short messages. A log that cannot be opened or is no send
// log adds no rows and is named in `unreadable`; a cut or unfinished one adds its whole rows and is named too.
MonthUsage CountMonthUsage(const QDate& month, const QStringList& logFiles,
                           const std::vector<SendLogRow>& listRows = {});

// Every ".log" in `folder`, by name; the desktop's journals of unsaved rows are not logs of their own (their rows
// are the list's). False with the reason when the folder cannot be read.
bool UsageLogFiles(const QString& folder, QStringList* files, QString* error);

// "2026-12" (or "2026-1") as the first day of that month. False with the reason in the system's words.
bool ParseUsageMonth(const QString& text, QDate* month, QString* error);

// A line per day (日期 yyyy/MM/dd) and a last line 合計: 簡訊通數, 傳送成功, 傳送失敗, 不確定, then the delivery
// classes of the accepted rows.
TextTable UsageTable(const MonthUsage& usage);
// {"month":"2026-12","days":[{"date":"2026-12-01",...},...],"total":{...},"undated":0,"unreadable":[...]}
QString UsageJson(const MonthUsage& usage);

} // namespace norvi
