#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/workers/DeliveryClass.h"

#include <QByteArray>
#include <QHash>
#include <QVector>

#include <vector>

namespace norvi {

class LogRows;

// What a send-log row says about its message to the next resend.
enum class Attempt {
    Sent,      // accepted, and no answer since says otherwise: never sent again
    Failed,    // refused, not sent (未傳送), or a query says it will not arrive: sent again once
    Uncertain, // the request went out unanswered ("可能已送出"): sent again only when the user says so
    Unknown,   // accepted, but the gateway knows no such MsgId (查詢碼 2): as an uncertain row
};
Attempt AttemptOf(const QByteArray& sendCode, const QByteArray& sendResult, const QByteArray& queryCode);
// Whether a later row may stand for this one: every attempt but a sent one.
inline bool IsOpenAttempt(Attempt a) {
    return a != Attempt::Sent;
}

// The rows of one message form its history: its first send, and every row appended later for it (a resend,
// the "未傳送" row of a stopped resend, a second send of the same text to the same number). The latest row
// of a history speaks for the message in every resend, count and follow-up.
//
// A log file keeps no mark of which row resent which, so histories are read from the rows themselves, in
// the order the rows were added to the log (a file's order, then the rows a job appended; never the list's
// sort). Rows belong to one message when they have the same 行動電話 and 訊息內容. A new row stands for the
// earliest history of its message whose latest row is still open (failed first, then uncertain or unknown),
// and begins a history of its own when none is open.
//
// One run sends a list that names the same number with the same text twice as two messages. The rows of
// such a run never stand for each other when the program knows they came from the same run (`run`, given
// by the log that holds the rows; 0 when it is not known, as for rows read from a file). A file read back
// cannot tell a second copy from a resend of the first; such rows are chained into one history, so a resend
// sends the message once rather than twice.
class MessageHistory {
public:
    // The next row, in the order rows were added; rows are numbered 0, 1, 2, ... in that order. Returns the
    // number of the earlier row this one stands for (which is then no longer the latest of its message), or
    // -1 when the row begins a history.
    qint64 add(const QByteArray& mobile, const QByteArray& content, Attempt attempt, quint32 run = 0);

    // 行動電話 and 訊息內容: the cells that make rows one message (shared with the row, not copied).
    struct Key {
        QByteArray mobile;
        QByteArray content;
        bool operator==(const Key& o) const { return mobile == o.mobile && content == o.content; }
    };

private:
    struct Open {
        qint64 latest;
        Attempt attempt;
        quint32 run;
    };
    // Histories whose latest row is open, by message, each list in the order its histories began. A history
    // whose latest row was sent is closed for good and forgotten: no later row can stand for it.
    QHash<Key, std::vector<Open>> m_open;
    qint64 m_rows = 0;
};

// The class of each message of a log read a row at a time, in the file's order (norvi-cli report): a byte a
// row, and the open histories, are all it keeps.
class MessageCounter {
public:
    void add(const SendLogRow& row);
    DeliveryCounts counts() const;

private:
    MessageHistory m_history;
    std::vector<quint8> m_classes; // by row; kSuperseded once a later row stands for it
    static constexpr quint8 kSuperseded = 0xFF;
};

inline size_t qHash(const MessageHistory::Key& key, size_t seed = 0) {
    return qHashMulti(seed, key.mobile, key.content);
}

// The histories of the rows of a send log.
struct LogHistories {
    QVector<int> added;  // the positions in the order the rows were added
    QVector<int> latest; // by position: the position of the latest row of its message (a latest row's own)
};
LogHistories ReadHistories(const LogRows& log);

// The class of each message among `rows` (positions of `log`, all rows when empty): its latest row's, each
// message counted once, however many of its rows `rows` names.
DeliveryCounts CountMessages(const LogRows& log, const QVector<int>& rows = {});

} // namespace norvi
