#include "core/workers/UndeliveredList.h"

#include "core/sendlog/LogRows.h"
#include "core/shared/Big5.h"
#include "core/workers/MessageHistory.h"
#include "core/workers/RowCodes.h"

#include <vector>

namespace norvi {

QList<Delivery> UndeliveredClasses() {
    return {Delivery::Failed, Delivery::Uncertain, Delivery::NotAsked};
}

QList<Delivery> DefaultUndeliveredClasses() {
    return {Delivery::Failed};
}

bool ParseUndeliveredClasses(const QString& text, QList<Delivery>* classes, QString* error) {
    QList<bool> named(kDeliveryClasses, false);
    const QStringList names = text.split(u',', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        bool known = false;
        for (Delivery d : UndeliveredClasses())
            if (name.trimmed() == DeliveryName(d)) {
                named[int(d)] = known = true;
            }
        if (!known) {
            *error = QStringLiteral("沒有這個類別：%1（可用的類別為 失敗、不確定、未查詢）").arg(name.trimmed());
            return false;
        }
    }
    if (names.isEmpty()) {
        *error = QStringLiteral("請指定至少一個類別：失敗、不確定、未查詢。");
        return false;
    }
    classes->clear();
    for (Delivery d : UndeliveredClasses())
        if (named[int(d)])
            classes->append(d);
    return true;
}

namespace {

QStringList undeliveredHeader() {
    return QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("訊息內容"),
                       QStringLiteral("類別"), QStringLiteral("原因"),     QStringLiteral("傳送時間"),
                       QStringLiteral("MsgId")};
}

// The list's line for a message whose latest row is `last`; empty when its class is not one of `classes`.
QStringList undeliveredLine(const SendLogRow& last, const QList<Delivery>& classes) {
    const DeliveryCells cells{last.texts[ColSendCode], last.texts[ColSendResult], last.codeImage,
                              last.texts[ColQueryCode], last.texts[ColQueryResult]};
    const Delivery d = ClassifyDelivery(cells);
    if (!classes.contains(d))
        return {};
    const bool sendAnswered = RowCodes::valueOr(cells.sendCode) == 0;
    QByteArray msgId;
    if (sendAnswered)
        RowCodes::msgIdFromResult(cells.sendResult, &msgId);
    return QStringList{fromBig5(last.texts[ColName]),
                       fromBig5(last.texts[ColMobile]),
                       fromBig5(last.texts[ColContent]),
                       DeliveryName(d),
                       fromBig5(sendAnswered ? cells.queryResult : cells.sendResult),
                       fromBig5(last.texts[ColSendTime]),
                       fromBig5(msgId)};
}

} // namespace

TextTable UndeliveredTable(const LogRows& log, const QList<Delivery>& classes) {
    TextTable table;
    table.header = undeliveredHeader();
    const LogHistories histories = ReadHistories(log);
    // A message is met at its first row in the order the rows were added; its latest row speaks for it.
    std::vector<char> listed(std::size_t(log.rowCount()), 0);
    for (int row : histories.added) {
        const int latest = histories.latest[row];
        if (listed[std::size_t(latest)])
            continue;
        listed[std::size_t(latest)] = 1;
        QStringList line = undeliveredLine(log.row(latest), classes);
        if (!line.isEmpty())
            table.rows.push_back(std::move(line));
    }
    return table;
}

void UndeliveredCollector::add(const SendLogRow& row) {
    const qint64 number = m_rows++;
    const Attempt attempt = AttemptOf(row.texts[ColSendCode], row.texts[ColSendResult], row.texts[ColQueryCode]);
    const qint64 earlier = m_history.add(row.texts[ColMobile], row.texts[ColContent], attempt);
    qint32 message;
    if (earlier >= 0) {
        message = m_messageOfOpenRow.take(earlier);
    } else {
        message = qint32(m_listedAt.size());
        m_listedAt.push_back(-1);
    }
    if (IsOpenAttempt(attempt))
        m_messageOfOpenRow.insert(number, message);
    // The latest row speaks for the message: its line replaces what an earlier row of it listed.
    QStringList line = undeliveredLine(row, m_classes);
    qint32& at = m_listedAt[std::size_t(message)];
    if (at >= 0) {
        m_listed[std::size_t(at)] = std::move(line);
    } else if (!line.isEmpty()) {
        at = qint32(m_listed.size());
        m_listed.push_back(std::move(line));
    }
}

TextTable UndeliveredCollector::table() const {
    TextTable table;
    table.header = undeliveredHeader();
    for (const qint32 at : m_listedAt)
        if (at >= 0 && !m_listed[std::size_t(at)].isEmpty())
            table.rows.push_back(m_listed[std::size_t(at)]);
    return table;
}

} // namespace norvi
