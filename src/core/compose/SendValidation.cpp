#include "core/compose/SendValidation.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/ShownText.h"

#include <QRegularExpression>

namespace norvi {

namespace {

constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;
constexpr int kMaxReservationDays = 6;
constexpr int kMaxLimitMinutes = 1440;

QString twoDigits(const QString& item) {
    const QString t = item.trimmed();
    return t.size() == 1 ? QLatin1Char('0') + t : t;
}

// The difference is taken on the wall clock, as the user reads the drop-downs, without daylight
// saving shifts.
QDateTime wallClock(const QDate& date, const QTime& time) {
    return QDateTime(date, time, Qt::UTC);
}

bool parseCount(const QString& item, int& value) {
    bool ok = false;
    value = item.trimmed().toInt(&ok);
    return ok && value >= 0;
}

} // namespace

QString CheckRecipientsPresent(int recipientCount) {
    return recipientCount > 0 ? QString() : QStringLiteral("請選擇、上載或輸入受訊者！");
}

QString BuildOrderTime(const QString& year, const QString& month, const QString& day, const QString& hour,
                       const QString& minute) {
    return year.trimmed() + twoDigits(month) + twoDigits(day) + twoDigits(hour) + twoDigits(minute) +
           QStringLiteral("00");
}

QString CheckReservation(const QString& orderTime, const QDateTime& now) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{14}$"));
    const QString formatError = QStringLiteral("預約傳送時間格式錯誤！");
    if (!digits.match(orderTime).hasMatch())
        return formatError;
    const QDate date(orderTime.mid(0, 4).toInt(), orderTime.mid(4, 2).toInt(), orderTime.mid(6, 2).toInt());
    const QTime time(orderTime.mid(8, 2).toInt(), orderTime.mid(10, 2).toInt(), orderTime.mid(12, 2).toInt());
    if (!date.isValid() || !time.isValid())
        return formatError;

    const qint64 ahead = wallClock(now.date(), now.time()).msecsTo(wallClock(date, time));
    if (ahead > kMaxReservationDays * kMsPerDay)
        return QStringLiteral("預約傳送超過6天限制！");
    if (ahead < 0)
        return QStringLiteral("不可預約過去的時間！");
    return {};
}

QString CheckLimit(const QString& hour, const QString& minute, int& limitMinutes) {
    limitMinutes = 0;
    int h = 0;
    int m = 0;
    // The drop-downs only offer numbers; typed arguments of the command-line front end may not be.
    if (!parseCount(hour, h) || !parseCount(minute, m) || h > kMaxLimitMinutes || m > kMaxLimitMinutes)
        return QStringLiteral("訊息截止時間格式錯誤！");
    if (h * 60 + m > kMaxLimitMinutes)
        return QStringLiteral("訊息截止時間超過24小時！");
    limitMinutes = h * 60 + m;
    return {};
}

QString CheckMessageText(const QString& message, QByteArray& big5Text) {
    big5Text.clear();
    if (message.isEmpty())
        return QStringLiteral("請輸入訊息內容！");
    QString unmappable;
    if (!toBig5(message, big5Text, &unmappable))
        return unmappableMessage(unmappable);
    // Only spaces and line breaks would reach every phone as a blank message, billed all the same.
    if (IsBlankText(big5Text)) {
        big5Text.clear();
        return QStringLiteral("請輸入訊息內容！");
    }
    // A control character pasted in (from a terminal, a document, a damaged file) has a Big5 byte, but a
    // phone shows it as nothing or as garbage. It cannot be seen in the field either, so its place is said.
    // Line breaks and tabs are the text's own layout.
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char16_t c = message.at(i).unicode();
        if (isControlChar(c) && c != u'\t' && c != u'\n' && c != u'\r') {
            big5Text.clear();
            return ControlCharacterText(i, c);
        }
    }
    return {};
}

QString ControlCharacterText(qsizetype index, char16_t c) {
    return QStringLiteral("訊息內容的第 %1 個字是看不見的控制字元（%2），手機無法顯示，請刪除後再傳送。")
        .arg(QString::number(index + 1), unmappableCode(QString(QChar(c))));
}

SendValidationResult ValidateSend(const SendRequest& request) {
    SendValidationResult result;
    const auto fail = [&result](const QString& error) {
        result.ok = false;
        result.error = error;
        return result;
    };

    QString error = CheckRecipientsPresent(request.recipientCount);
    if (!error.isEmpty())
        return fail(error);

    if (request.reservation) {
        result.orderTime = BuildOrderTime(request.year, request.month, request.day, request.hour, request.minute);
        error = CheckReservation(result.orderTime, Clock::now());
        if (!error.isEmpty())
            return fail(error);
    }

    if (request.limitChecked) {
        error = CheckLimit(request.limitHour, request.limitMinute, result.limitMinutes);
        if (!error.isEmpty())
            return fail(error);
    }

    error = CheckMessageText(request.message, result.message);
    if (!error.isEmpty())
        return fail(error);

    if (!CheckDigitRuns(result.message))
        return fail(QString::fromUtf8("簡訊內容包含電話號嗎，請用 '-' 符號分開才可正常傳送，如 "
                                      "02-2344xxxx或 0910-123xxx。"));
    result.ok = true;
    return result;
}

int DaysInMonth(int year, int month) {
    switch (month) {
    case 2:
        return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;
    }
}

QString DropDownItem(int number) {
    return number < 10 ? QStringLiteral("  ") + QString::number(number) : QString::number(number);
}

QStringList DropDownItems(int first, int last) {
    QStringList items;
    for (int n = first; n <= last; ++n)
        items.append(DropDownItem(n));
    return items;
}

ReservationDefaults ReservationDropDowns(const QDateTime& now) {
    ReservationDefaults d;
    const QDateTime base = now.addDays(1);
    const int year = now.date().year();
    d.years.append(QString::number(year));
    const int laterYear = now.addDays(2).date().year();
    if (laterYear != year)
        d.years.append(QString::number(laterYear));
    d.yearIndex = std::max<int>(0, int(d.years.indexOf(QString::number(base.date().year()))));
    d.month = base.date().month();
    d.day = base.date().day();
    d.hour = base.time().hour();
    d.minute = base.time().minute();
    d.daysInMonth = DaysInMonth(base.date().year(), d.month);
    return d;
}

int DayAfterMonthChange(int previousDay, int year, int month) {
    return std::min(std::max(previousDay, 1), DaysInMonth(year, month));
}

} // namespace norvi
