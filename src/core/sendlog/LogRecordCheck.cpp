#include "core/sendlog/LogRecordCheck.h"

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"

namespace norvi {

namespace {

// The three kinds of recipient, or none (a row made by hand; resending takes it for a typed number).
bool isRowImage(int image) {
    return image == ImageMember || image == ImageListRow || image == ImageTyped || image == ImageNone;
}

bool isDigits(const QByteArray& text) {
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Codes are written by QByteArray::number: an optional minus and digits, or nothing before the answer.
bool isCode(const QByteArray& text) {
    if (text.isEmpty())
        return true;
    const QByteArray digits = text.startsWith('-') ? text.mid(1) : text;
    return !digits.isEmpty() && isDigits(digits);
}

QString quoted(const QByteArray& text) {
    return QStringLiteral("「") + shownBig5(text) + QStringLiteral("」");
}

LogFileCheck checkAll(LogFileReader& reader) {
    LogFileCheck check;
    check.opened = reader.open();
    if (!check.opened) {
        check.refusal = reader.refusal();
        return check;
    }
    SendLogRow row;
    while (reader.next(row)) {
    }
    check.refusal = reader.refusal();
    return check;
}

} // namespace

QString LogRecordFault(const sLogRecord& record) {
    if (!isRowImage(record.image))
        return QStringLiteral("的圖示代碼 %1 不明").arg(int(record.image));
    if (record.codeImage != ImageNone && record.codeImage != ImageReservation)
        return QStringLiteral("傳送碼欄的圖示代碼 %1 不明").arg(int(record.codeImage));
    const QByteArray name = getField(record.name);
    if (firstControlByte(name) >= 0)
        return QStringLiteral("的名稱%1含有控制字元").arg(quoted(name));
    const QByteArray msisdn = getField(record.msisdn);
    if (firstControlByte(msisdn) >= 0)
        return QStringLiteral("的行動電話%1含有控制字元").arg(quoted(msisdn));
    const QByteArray sendTime = getField(record.sendTime);
    if (!isDigits(sendTime))
        return QStringLiteral("的傳送時間%1不是數字").arg(quoted(sendTime));
    const QByteArray sendCode = getField(record.sendCode);
    if (!isCode(sendCode))
        return QStringLiteral("的傳送碼%1不是數字").arg(quoted(sendCode));
    const QByteArray queryCode = getField(record.queryCode);
    if (!isCode(queryCode))
        return QStringLiteral("的查詢碼%1不是數字").arg(quoted(queryCode));
    return QString();
}

QString NotSendLogText(qint64 record, const QString& fault) {
    return QStringLiteral("不是發訊紀錄檔：第 %1 筆紀錄%2。").arg(record).arg(fault);
}

LogFileCheck CheckLogFile(const QString& path) {
    LogFileReader reader(path);
    return checkAll(reader);
}

LogFileCheck CheckLogFile(QIODevice& device) {
    LogFileReader reader(device);
    return checkAll(reader);
}

} // namespace norvi
