#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/shared/TextTable.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/MessageHistory.h"

#include <QHash>
#include <QList>
#include <QString>

#include <vector>

namespace norvi {

class LogRows;

// Who did not get a message: the classes a list of them may take (失敗, 不確定, 未查詢), 失敗 alone unless asked.
QList<Delivery> UndeliveredClasses();
QList<Delivery> DefaultUndeliveredClasses();

// "失敗,不確定" as the classes it names, each once, in UndeliveredClasses' order. False with the reason in the
// system's words for an empty list or a name that is not one of those classes.
bool ParseUndeliveredClasses(const QString& text, QList<Delivery>* classes, QString* error);

// The messages of `log` whose latest row (MessageHistory) is of one of `classes`, one row each, in the order the
// messages began: 名稱, 行動電話, 訊息內容, 類別, 原因, 傳送時間, MsgId. 原因 is the 傳送結果 when the send itself
// failed or got no answer, else the 查詢結果; MsgId is empty when the gateway gave none.
TextTable UndeliveredTable(const LogRows& log, const QList<Delivery>& classes);

// The same list of a log file read a row at a time in the file's order (norvi-cli undelivered), without
// holding the log: it keeps the keys of the messages still open, a number a message, and the cells of the
// messages it lists.
class UndeliveredCollector {
public:
    explicit UndeliveredCollector(const QList<Delivery>& classes) : m_classes(classes) {}
    void add(const SendLogRow& row);
    TextTable table() const;

private:
    QList<Delivery> m_classes;
    MessageHistory m_history;
    qint64 m_rows = 0;
    QHash<qint64, qint32> m_messageOfOpenRow; // a history's latest row, while open: its message
    std::vector<qint32> m_listedAt;           // by message, in the order they began: into m_listed, or -1
    std::vector<QStringList> m_listed;        // a message no longer listed leaves its cells empty
};

} // namespace norvi
