#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/shared/TextTable.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/MessageHistory.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

namespace norvi {

class LogFileReader;
class LogRows;

// Who did not get a message: the classes a list of them may take (失敗, 不確定, 未查詢), 失敗 alone unless asked.
QList<Delivery> UndeliveredClasses();
QList<Delivery> DefaultUndeliveredClasses();

// "失敗,不確定" as the classes it names, each once, in UndeliveredClasses' order. False with the reason in the
// system's words for an empty list or a name that is not one of those classes.
bool ParseUndeliveredClasses(const QString& text, QList<Delivery>* classes, QString* error);

// The list's captions: 名稱, 行動電話, 訊息內容, 類別, 原因, 傳送時間, MsgId.
QStringList UndeliveredHeader();
// The list's line for a message whose latest row is `latest`: empty when its class is not one of `classes`.
// 原因 is the 傳送結果 when the send itself failed or got no answer, else the 查詢結果; MsgId is empty when the
// gateway gave none.
QStringList UndeliveredLine(const SendLogRow& latest, const QList<Delivery>& classes);

// The messages of `log` whose latest row (MessageHistory) is of one of `classes`, one line each (to `put`, until
// it returns false, which is then returned), in the order the messages began.
bool ForEachUndeliveredLine(const LogRows& log, const QList<Delivery>& classes,
                            const std::function<bool(const QStringList&)>& put);
TextTable UndeliveredTable(const LogRows& log, const QList<Delivery>& classes);

// The same list of a log file read a row at a time in the file's order (norvi-cli undelivered), in two passes,
// so that neither the log nor the list is ever held: add() is given every row, and keeps the keys of the
// messages still open and a number a message (its latest row while listed); writeLines() then reads each
// listed message's latest row again.
class UndeliveredCollector {
public:
    explicit UndeliveredCollector(const QList<Delivery>& classes) : m_classes(classes) {}
    void add(const SendLogRow& row);
    qint64 listedCount() const { return m_listed; }

    enum class Pass { Written, OutputFailed, LogChanged };
    // Each listed message's line to `put`, in the order the messages began, from `reader`: the one whose rows
    // add() was given, still open. LogChanged when the file was written since (a listed row is gone or no
    // longer listed): what `put` was given is then not the list.
    Pass writeLines(LogFileReader& reader, const std::function<bool(const QStringList&)>& put) const;

private:
    QList<Delivery> m_classes;
    MessageHistory m_history;
    qint64 m_rows = 0;
    qint64 m_listed = 0;
    QHash<qint64, qint32> m_messageOfOpenRow; // a history's latest row, while open: its message
    std::vector<qint32> m_listedRow;          // by message, in the order they began: its latest row if listed, or -1
};

} // namespace norvi
