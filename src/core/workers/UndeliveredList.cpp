#include "core/workers/UndeliveredList.h"

#include "core/sendlog/LogFile.h"
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

QStringList UndeliveredHeader() {
    return QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("訊息內容"),
                       QStringLiteral("類別"), QStringLiteral("原因"),     QStringLiteral("傳送時間"),
                       QStringLiteral("MsgId")};
}

QStringList UndeliveredLine(const SendLogRow& latest, const QList<Delivery>& classes) {
    const DeliveryCells cells = DeliveryCellsOf(latest);
    const Delivery d = ClassifyDelivery(cells);
    if (!classes.contains(d))
        return {};
    const bool sendAnswered = RowCodes::valueOr(cells.sendCode) == 0;
    QByteArray msgId;
    if (sendAnswered)
        RowCodes::msgIdFromResult(cells.sendResult, &msgId);
    return QStringList{fromBig5(latest.texts[ColName]),
                       fromBig5(latest.texts[ColMobile]),
                       fromBig5(latest.texts[ColContent]),
                       DeliveryName(d),
                       fromBig5(sendAnswered ? cells.queryResult : cells.sendResult),
                       fromBig5(latest.texts[ColSendTime]),
                       fromBig5(msgId)};
}

bool ForEachUndeliveredLine(const LogRows& log, const QList<Delivery>& classes,
                            const std::function<bool(const QStringList&)>& put) {
    const LogHistories histories = ReadHistories(log);
    // A message is met at its first row in the order the rows were added; its latest row speaks for it.
    std::vector<char> listed(std::size_t(log.rowCount()), 0);
    for (int row : histories.added) {
        const int latest = histories.latest[row];
        if (listed[std::size_t(latest)])
            continue;
        listed[std::size_t(latest)] = 1;
        const QStringList line = UndeliveredLine(log.row(latest), classes);
        if (!line.isEmpty() && !put(line))
            return false;
    }
    return true;
}

TextTable UndeliveredTable(const LogRows& log, const QList<Delivery>& classes) {
    TextTable table;
    table.header = UndeliveredHeader();
    ForEachUndeliveredLine(log, classes, [&table](const QStringList& line) {
        table.rows.push_back(line);
        return true;
    });
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
        message = qint32(m_listedRow.size());
        m_listedRow.push_back(-1);
    }
    if (IsOpenAttempt(attempt))
        m_messageOfOpenRow.insert(number, message);
    // The latest row speaks for the message: it replaces what an earlier row of it listed.
    qint32& listedRow = m_listedRow[std::size_t(message)];
    const bool listed = m_classes.contains(ClassifyDelivery(DeliveryCellsOf(row)));
    m_listed += qint64(listed) - qint64(listedRow >= 0);
    listedRow = listed ? qint32(number) : -1;
}

UndeliveredCollector::Pass UndeliveredCollector::writeLines(LogFileReader& reader,
                                                            const std::function<bool(const QStringList&)>& put) const {
    SendLogRow row;
    for (const qint32 at : m_listedRow) {
        if (at < 0)
            continue;
        if (!reader.readAgain(at, row))
            return Pass::LogChanged;
        const QStringList line = UndeliveredLine(row, m_classes);
        if (line.isEmpty())
            return Pass::LogChanged;
        if (!put(line))
            return Pass::OutputFailed;
    }
    return reader.changedSinceOpen() ? Pass::LogChanged : Pass::Written;
}

} // namespace norvi
