#include "core/workers/DeliveryClass.h"

#include "core/gateway/ResultCodes.h"
#include "core/sendlog/JobRows.h"
#include "core/shared/Big5.h"
#include "core/workers/QueryJob.h"
#include "core/workers/RowCodes.h"
#include "core/workers/StopRows.h"

#include <QStringList>

namespace norvi {

namespace {
constexpr int kReservationWaiting = 20; // 預約簡訊，等待傳送中
const char* const kNames[kDeliveryClasses] = {"已送達", "處理中", "預約中", "失敗", "未查詢", "不確定"};
} // namespace

Delivery ClassifyDelivery(const DeliveryCells& cells) {
    int sendCode = 0;
    if (!RowCodes::parse(cells.sendCode, &sendCode) || sendCode != 0)
        return StopRows::isUncertain(cells.sendCode, cells.sendResult) ? Delivery::Uncertain : Delivery::Failed;
    int queryCode = 0;
    if (!RowCodes::parse(cells.queryCode, &queryCode))
        return Delivery::NotAsked;
    // A run stopped before it reached the row: "未查詢：作業已中斷".
    static const QByteArray notAsked = big5("未查詢：");
    if (queryCode == StopRows::kCode && cells.queryResult.startsWith(notAsked))
        return Delivery::NotAsked;
    if (queryCode == 0) {
        // A reservation's cells also hold a cancellation's answer, whose 0 means "cancelled", not
        // "delivered": only the query's own text says delivered.
        const bool reservation = cells.codeImage == ImageReservation;
        return !reservation || cells.queryResult.startsWith(CodeText(CodeTable::Query, 0)) ? Delivery::Delivered
                                                                                           : Delivery::Pending;
    }
    if (queryCode == kReservationWaiting)
        return Delivery::Reserved;
    // Accepted once, and the gateway no longer knows the MsgId: neither delivered nor failed.
    if (queryCode == RowCodes::kNoSuchMessage)
        return Delivery::Uncertain;
    return RowCodes::isAskAgain(queryCode) ? Delivery::Pending : Delivery::Failed;
}

bool IsFinalDelivery(Delivery d) {
    return d == Delivery::Delivered || d == Delivery::Failed || d == Delivery::Uncertain;
}

DeliveryCells DeliveryCellsOf(const SendLogRow& row) {
    return {row.texts[ColSendCode], row.texts[ColSendResult], row.codeImage, row.texts[ColQueryCode],
            row.texts[ColQueryResult]};
}

bool IsUnsettled(const DeliveryCells& cells, QByteArray* msgId) {
    if (IsFinalDelivery(ClassifyDelivery(cells)))
        return false;
    const QueryJob::RowPlan plan =
        QueryJob::planRow(cells.sendCode, cells.codeImage, cells.queryCode, cells.sendResult);
    if (plan.ask && msgId)
        *msgId = plan.msgId;
    return plan.ask;
}

QString DeliveryName(Delivery d) {
    return QString::fromUtf8(kNames[std::size_t(d)]);
}

int DeliveryCounts::total() const {
    int n = 0;
    for (int c : m_counts)
        n += c;
    return n;
}

double DeliveryCounts::share(Delivery d) const {
    const int all = total();
    return all == 0 ? 0.0 : 100.0 * count(d) / all;
}

QStringList DeliveryCounts::parts() const {
    QStringList parts;
    for (int i = 0; i < kDeliveryClasses; ++i)
        if (m_counts[std::size_t(i)] > 0)
            parts << QStringLiteral("%1 %2 筆").arg(DeliveryName(Delivery(i))).arg(m_counts[std::size_t(i)]);
    return parts;
}

QString DeliveryCounts::text() const {
    const QStringList all = parts();
    return all.isEmpty() ? QStringLiteral("沒有紀錄") : all.join(u'，');
}

QString DeliveryCounts::csv() const {
    QString out = QStringLiteral("類別,筆數,比例\r\n");
    for (int i = 0; i < kDeliveryClasses; ++i)
        out += QStringLiteral("%1,%2,%3%\r\n")
                   .arg(DeliveryName(Delivery(i)))
                   .arg(m_counts[std::size_t(i)])
                   .arg(share(Delivery(i)), 0, 'f', 1);
    return out + QStringLiteral("總計,%1,%2%\r\n").arg(total()).arg(total() > 0 ? 100.0 : 0.0, 0, 'f', 1);
}

QString DeliveryCounts::json() const {
    QStringList parts;
    for (int i = 0; i < kDeliveryClasses; ++i)
        parts << QStringLiteral("\"%1\":%2").arg(DeliveryName(Delivery(i))).arg(m_counts[std::size_t(i)]);
    parts << QStringLiteral("\"總計\":%1").arg(total());
    return u'{' + parts.join(u',') + u'}';
}

} // namespace norvi
