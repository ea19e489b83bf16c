#include "core/workers/StopRows.h"

#include "core/shared/Big5.h"

namespace norvi::StopRows {

namespace {
QByteArray stopReason(const QByteArray& reason) {
    return reason.isEmpty() ? big5("作業已中斷") : reason;
}
} // namespace

QByteArray uncertainText(const QByteArray& transportText) {
    return transportText + big5("，可能已送出");
}

bool isUncertain(const QByteArray& sendCodeCell, const QByteArray& sendResultCell) {
    static const QByteArray mark = big5("可能已送出");
    return sendCodeCell.trimmed() == QByteArray::number(kCode) && sendResultCell.endsWith(mark);
}

QByteArray cutSendText() {
    return uncertainText(big5("已中斷：閘道未回覆"));
}

QByteArray inFlightText() {
    return uncertainText(big5("程式在閘道回覆前結束"));
}

QByteArray notSentText(const QByteArray& reason) {
    return big5("未傳送：") + stopReason(reason);
}

QByteArray cutQueryText(WorkerMode mode) {
    return big5(mode == WorkerMode::Cancel ? "已中斷：閘道未回覆，可能已取消" : "已中斷：閘道未回覆");
}

QByteArray cancelUnknownText() {
    return big5("取消結果不明，請再查詢");
}

QByteArray notAskedText(WorkerMode mode, const QByteArray& reason) {
    return big5(mode == WorkerMode::Cancel ? "未取消：" : "未查詢：") + stopReason(reason);
}

bool isLoginRefusal(int loginCode) {
    return loginCode == 1 || loginCode == 2 || loginCode == 4;
}

QString continueQuestion(int failures, WorkerMode mode) {
    const QString what = mode == WorkerMode::Query    ? QStringLiteral("查詢")
                         : mode == WorkerMode::Cancel ? QStringLiteral("取消預約")
                                                      : QStringLiteral("傳送");
    return QStringLiteral("閘道連續 %1 次沒有回應，要繼續%2嗎？").arg(failures).arg(what);
}

QByteArray gaveUpLine(int failures) {
    return big5(QStringLiteral("閘道連續 %1 次沒有回應，作業已停止。").arg(failures));
}

} // namespace norvi::StopRows
