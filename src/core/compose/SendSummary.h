#pragma once

#include "core/compose/OddNumbers.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/SendSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// The one question before a send: who it reaches and how many short messages that bills, who it leaves out
// and why, and what it warns of, read from the run's recipients before the first request. The send dialog
// shows it in a box, norvi-cli prints its lines (and send --dry-run --json its counts).
namespace norvi {

// What a line of the summary is about. A line that offers choices is answered in the box; the caller reads
// the answer by its topic.
enum class SummaryTopic {
    Count,      // 收訊人 M 位、共 K 通簡訊
    LeftOut,    // 略過：重複 N、拒收 O、號碼不符 P
    SameNumber, // 同一門號不同內容 Q 筆
    Reservation,
    Validity,
    QuietHours, // a send, or a reservation, inside quiet hours: choices kMoveToMorning, kSendAtNight
    Link,
    OverlongRows,   // list rows whose own text is cut after six short messages
    MarksAsWritten, // with "一般簡訊", the message's "$n$" go out as they are
    RowsAsWritten,  // with "替代簡訊", list rows that get no value filled in go out as the list holds them
    OddNumbers,     // text that is no number: choices kLeaveOutOdd, kSendOdd
    EmptyFields,    // "替代簡訊" leaves a "$n$" of some recipients without a value: choices kSendEmptyFields,
                    // kLeaveOutEmptyFields
    BlankTexts,     // recipients whose message is blank once filled in: never sent
    NothingToSend,
};

// The answers of the lines that offer them, by their place in the line's choices.
constexpr int kMoveToMorning = 0;
constexpr int kSendAtNight = 1;
constexpr int kLeaveOutOdd = 0;
constexpr int kSendOdd = 1;
constexpr int kSendEmptyFields = 0;
constexpr int kLeaveOutEmptyFields = 1;

struct SummaryLine {
    SummaryTopic topic;
    QString text;
    bool warning = false;    // shows the summary even when the user asked to see it only with warnings
    QStringList choices;     // the answers the line offers; empty for a line to read
    int chosen = 0;          // the answer taken unless the user picks another
    bool onlyChoice = false; // a single answer, shown without a choice to make
};

// When the run goes: now, or booked for a time (the 14 digits of SendSchedule), and how long it is valid.
struct SummarySchedule {
    bool reservation = false;
    QString orderTime; // "yyyyMMddHHmm00"
    int limitMinutes = 0;
};

struct SendSummary {
    int recipients = 0;
    int messages = 0; // the billed count: each recipient's short messages
    int duplicates = 0;
    int optedOut = 0;
    int oddNumbers = 0; // recipients that are no number, sent or left out
    int oddLeftOut = 0;
    int sameNumberOtherText = 0;
    int emptyFields = 0; // recipients whose template leaves a field without a value, sent or left out
    int emptyFieldsLeftOut = 0;
    BlankTexts blank; // left out: their message is blank once filled in
    bool link = false;
    OverlongRows overlong;
    QList<int> marksAsWritten;
    OverlongRows rowsAsWritten;
    SummarySchedule schedule;
    bool night = false;          // the run goes inside quiet hours
    QDateTime morning;           // the end of those quiet hours, where 改為 … 預約傳送 books the run
    bool morningAllowed = false; // that booking is within the reservation limit
    QuietHours quiet;
    std::vector<SummaryLine> lines;

    // Something is left out, or a line warns: the summary is shown even with SummaryShown::Warnings.
    bool needsAttention() const;
    bool shows(SummaryShown shown) const { return shown == SummaryShown::Always || needsAttention(); }
    SummaryLine* line(SummaryTopic topic);
    const SummaryLine* line(SummaryTopic topic) const;
    // The answer of a line, or -1 when the summary has no such line.
    int chosen(SummaryTopic topic) const;
    // The lines' texts, one a line, as norvi-cli prints them.
    QStringList texts() const;
    // The counts as one JSON object with stable keys, for scripts.
    QByteArray toJson() const;
    // The schedule the run takes with the answers given: booked for the morning when the quiet-hours line
    // was answered 改為 … 預約傳送.
    SummarySchedule scheduleTaken() const;
};

// The summary of a run whose recipients `queued` counted, going as `schedule` says at `now`.
SendSummary SummarizeSend(const SendQueueResult& queued, const SummarySchedule& schedule, const QuietHours& quiet,
                          const QDateTime& now);

// The time a 14-digit reservation names, invalid when it names none.
QDateTime OrderDateTime(const QString& orderTime);

} // namespace norvi
