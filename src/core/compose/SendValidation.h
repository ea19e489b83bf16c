#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The checks of 傳送, shared by the send dialog and the command-line front end, and the reservation
// drop-downs' contents. Each check returns the text the user is shown; the first failing one wins.
namespace norvi {

// What the send form holds when 傳送 is pressed. Drop-down values are the selected items' texts as
// shown ("  5", "12"); the command-line front end passes its arguments the same way.
struct SendRequest {
    int recipientCount = 0;   // entries read from the recipient field
    bool reservation = false; // "預約傳送" checked
    QString year, month, day, hour, minute;
    bool limitChecked = false; // "訊息截止時間：" checked
    QString limitHour, limitMinute;
    QString message;
};

struct SendValidationResult {
    bool ok = false;
    QString error;        // the warning to show when !ok
    QString orderTime;    // "yyyyMMddHHmm00" when a reservation was asked for
    int limitMinutes = 0; // 0 = no limit
    QByteArray message;   // the message text in Big5
};

// Recipients, reservation time (against Clock::now()), validity limit, empty or blank text, characters without
// a Big5 form, telephone numbers written in one piece. The gateway address and the send log's
// clearing come after these and are the caller's.
SendValidationResult ValidateSend(const SendRequest& request);

// The single checks, in the order ValidateSend runs them; an empty string means passed.
QString CheckRecipientsPresent(int recipientCount);
// Builds the 14-digit reservation time from the drop-down texts (each trimmed, one digit padded with "0").
QString BuildOrderTime(const QString& year, const QString& month, const QString& day, const QString& hour,
                       const QString& minute);
QString CheckReservation(const QString& orderTime, const QDateTime& now);
QString CheckLimit(const QString& hour, const QString& minute, int& limitMinutes);
QString CheckMessageText(const QString& message, QByteArray& big5Text);
// Why a message cannot go with the control character `c` at `index` (from 0) of its text.
QString ControlCharacterText(qsizetype index, char16_t c);

int DaysInMonth(int year, int month);

// A drop-down item: numbers below 10 padded with two spaces ("  1"), others as they are ("12").
QString DropDownItem(int number);
QStringList DropDownItems(int first, int last);

// What the reservation drop-downs show when the dialog opens: base = now + 1 day.
struct ReservationDefaults {
    QStringList years; // the current year, and the next one when now + 2 days falls in it
    int yearIndex = 0; // the base's year
    int month = 1, day = 1, hour = 0, minute = 0;
    int daysInMonth = 31; // length of the day list for the selected year and month
};
ReservationDefaults ReservationDropDowns(const QDateTime& now);

// The day to select after the year or month changed: the same day, or the month's last one.
int DayAfterMonthChange(int previousDay, int year, int month);

} // namespace norvi
