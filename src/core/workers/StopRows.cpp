#include "core/workers/StopRows.h"

#include "core/shared/Big5.h"

namespace norvi::StopRows {

QByteArray cutSendText() {
    return big5("已中斷：閘道未回覆，可能已送出");
}

QByteArray notSentText() {
    return big5("未傳送：作業已中斷");
}

QByteArray cutQueryText(WorkerMode mode) {
    return big5(mode == WorkerMode::Cancel ? "已中斷：閘道未回覆，可能已取消" : "已中斷：閘道未回覆");
}

QByteArray notAskedText(WorkerMode mode) {
    return big5(mode == WorkerMode::Cancel ? "未取消：作業已中斷" : "未查詢：作業已中斷");
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
