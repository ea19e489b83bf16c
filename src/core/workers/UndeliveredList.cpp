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

TextTable UndeliveredTable(const LogRows& log, const QList<Delivery>& classes) {
    TextTable table;
    table.header = QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("訊息內容"),
                               QStringLiteral("類別"), QStringLiteral("原因"),     QStringLiteral("傳送時間"),
                               QStringLiteral("MsgId")};
    const LogHistories histories = ReadHistories(log);
    // A message is met at its first row in the order the rows were added; its latest row speaks for it.
    std::vector<char> listed(std::size_t(log.rowCount()), 0);
    for (int row : histories.added) {
        const int latest = histories.latest[row];
        if (listed[std::size_t(latest)])
            continue;
        listed[std::size_t(latest)] = 1;
        const SendLogRow& last = log.row(latest);
        const DeliveryCells cells{last.texts[ColSendCode], last.texts[ColSendResult], last.codeImage,
                                  last.texts[ColQueryCode], last.texts[ColQueryResult]};
        const Delivery d = ClassifyDelivery(cells);
        if (!classes.contains(d))
            continue;
        const bool sendAnswered = RowCodes::valueOr(cells.sendCode) == 0;
        QByteArray msgId;
        if (sendAnswered)
            RowCodes::msgIdFromResult(cells.sendResult, &msgId);
        table.rows.push_back(QStringList{fromBig5(last.texts[ColName]), fromBig5(last.texts[ColMobile]),
                                         fromBig5(last.texts[ColContent]), DeliveryName(d),
                                         fromBig5(sendAnswered ? cells.queryResult : cells.sendResult),
                                         fromBig5(last.texts[ColSendTime]), fromBig5(msgId)});
    }
    return table;
}

} // namespace norvi
