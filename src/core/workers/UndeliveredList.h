#pragma once

#include "core/shared/TextTable.h"
#include "core/workers/DeliveryClass.h"

#include <QList>
#include <QString>

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

} // namespace norvi
