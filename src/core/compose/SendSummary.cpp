#include "core/compose/SendSummary.h"

#include "core/compose/LinkCheck.h"
#include "core/compose/MessageCount.h"
#include "core/compose/SendValidation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace norvi {

namespace {

const QString kOrderFormat = QStringLiteral("yyyyMMddHHmmss");

SummaryLine readLine(SummaryTopic topic, const QString& text, bool warning = false) {
    SummaryLine line;
    line.topic = topic;
    line.text = text;
    line.warning = warning;
    return line;
}

QString shownTime(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

QString validityText(int minutes) {
    const int hours = minutes / 60;
    const int rest = minutes % 60;
    if (hours == 0)
        return QStringLiteral("有效期限：%1 分鐘").arg(rest);
    if (rest == 0)
        return QStringLiteral("有效期限：%1 小時").arg(hours);
    return QStringLiteral("有效期限：%1 小時 %2 分鐘").arg(hours).arg(rest);
}

SummaryLine quietHoursLine(const SendSummary& s) {
    const QString window = s.quiet.windowText();
    SummaryLine line = readLine(SummaryTopic::QuietHours,
                                s.schedule.reservation ? QStringLiteral("預約時間在夜間（%1）").arg(window)
                                                       : QStringLiteral("現在是夜間（%1）").arg(window),
                                true);
    const QString move = QStringLiteral("改為 %1 預約傳送").arg(s.quiet.endText());
    if (s.morningAllowed) {
        line.choices = {move, QStringLiteral("照常傳送")};
        line.chosen = kMoveToMorning;
    } else {
        // Booked for the last day a reservation may be: the morning after is past the limit.
        line.text += QStringLiteral("，%1會超過 6 天的預約限制").arg(move);
        line.choices = {QStringLiteral("照常傳送")};
        line.chosen = 0;
        line.onlyChoice = true;
    }
    return line;
}

void buildLines(SendSummary& s, const SendQueueResult& queued) {
    const OddNumbers& odd = queued.odd;
    std::vector<SummaryLine>& lines = s.lines;
    lines.push_back(
        readLine(SummaryTopic::Count, QStringLiteral("收訊人 %1 位、共 %2 通簡訊").arg(s.recipients).arg(s.messages)));
    QString leftOut =
        QStringLiteral("略過：重複 %1、拒收 %2、號碼不符 %3").arg(s.duplicates).arg(s.optedOut).arg(s.oddLeftOut);
    if (s.emptyFieldsLeftOut > 0)
        leftOut += QStringLiteral("、缺少替代欄位 %1").arg(s.emptyFieldsLeftOut);
    if (s.blank.count > 0)
        leftOut += QStringLiteral("、空白訊息 %1").arg(s.blank.count);
    lines.push_back(readLine(SummaryTopic::LeftOut, leftOut));
    if (s.sameNumberOtherText > 0)
        lines.push_back(
            readLine(SummaryTopic::SameNumber, QStringLiteral("同一門號不同內容 %1 筆").arg(s.sameNumberOtherText)));
    if (s.schedule.reservation)
        lines.push_back(readLine(SummaryTopic::Reservation,
                                 QStringLiteral("預約時間：") + shownTime(OrderDateTime(s.schedule.orderTime))));
    if (s.schedule.limitMinutes > 0)
        lines.push_back(readLine(SummaryTopic::Validity, validityText(s.schedule.limitMinutes)));
    if (s.night)
        lines.push_back(quietHoursLine(s));
    if (s.link)
        lines.push_back(readLine(SummaryTopic::Link, LinkWarningText(), true));
    // The tail of such a text is never sent; the send dialog's note under the list says the same.
    if (s.overlong.rows > 0)
        lines.push_back(readLine(SummaryTopic::OverlongRows, OverlongRowsText(s.overlong), true));
    // Only "替代簡訊" fills the marks in: a message written as a template is otherwise sent with them.
    if (!s.marksAsWritten.isEmpty())
        lines.push_back(
            readLine(SummaryTopic::MarksAsWritten,
                     QStringLiteral("一般簡訊不填入名單的值：訊息中的 %1 會照原樣送出，要填入請改用替代簡訊")
                         .arg(PlaceholdersText(s.marksAsWritten)),
                     true));
    // "替代簡訊" fills in only values written "$王小明$" and only where the message has "$1$" (a full-width "＄1＄"
    // is no mark); any other row is sent its content as written.
    if (s.rowsAsWritten.rows > 0) {
        QString text = QStringLiteral("替代簡訊沒有填入 %1 筆名單（名單列沒有 $…$ 的值，或訊息中沒有 $1$），"
                                      "這些受訊者會收到名單上的原文")
                           .arg(s.rowsAsWritten.rows);
        if (s.rowsAsWritten.firstLine >= 0)
            text += QStringLiteral("，第一筆在第 %1 行").arg(qint64(s.rowsAsWritten.firstLine) + 1);
        lines.push_back(readLine(SummaryTopic::RowsAsWritten, text, true));
    }
    if (s.oddNumbers > 0) {
        SummaryLine line = readLine(SummaryTopic::OddNumbers, odd.summary(), true);
        line.choices = {QStringLiteral("略過這些受訊者"), QStringLiteral("照常傳送")};
        line.chosen = s.oddLeftOut > 0 ? kLeaveOutOdd : kSendOdd;
        lines.push_back(line);
    }
    // Sent with the fields empty unless the user leaves them out; 取消 goes back to the first of them.
    if (s.emptyFields > 0) {
        SummaryLine line = readLine(SummaryTopic::EmptyFields, queued.emptyFields.summary(), true);
        line.choices = {QStringLiteral("欄位留空照常傳送"), QStringLiteral("略過這些受訊者")};
        line.chosen = s.emptyFieldsLeftOut > 0 ? kLeaveOutEmptyFields : kSendEmptyFields;
        lines.push_back(line);
    }
    // Whatever was chosen above: the gateway refuses an empty text, and spaces reach the phone as nothing.
    if (s.blank.count > 0)
        lines.push_back(readLine(SummaryTopic::BlankTexts, BlankTextsText(s.blank), true));
    // Why: all left out, or a number that refuses the whole run once the user asked to send it.
    if (s.recipients == 0)
        lines.push_back(readLine(SummaryTopic::NothingToSend,
                                 queued.message.isEmpty() ? QStringLiteral("沒有簡訊可傳送") : queued.message, true));
}

} // namespace

QDateTime OrderDateTime(const QString& orderTime) {
    return QDateTime::fromString(orderTime, kOrderFormat);
}

SendSummary SummarizeSend(const SendQueueResult& queued, const SummarySchedule& schedule, const QuietHours& quiet,
                          const QDateTime& now) {
    SendSummary s;
    s.recipients = queued.recipients;
    s.messages = queued.totalCount;
    s.duplicates = queued.duplicates;
    s.optedOut = queued.optedOut;
    s.oddNumbers = queued.odd.count();
    s.oddLeftOut = queued.oddLeftOut;
    s.sameNumberOtherText = queued.sameNumberOtherText;
    s.emptyFields = queued.emptyFields.count();
    s.emptyFieldsLeftOut = queued.emptyFieldsLeftOut;
    s.blank = queued.blank;
    s.link = queued.link;
    s.overlong = queued.overlong;
    s.marksAsWritten = queued.marksAsWritten;
    s.rowsAsWritten = queued.rowsAsWritten;
    s.schedule = schedule;
    s.quiet = quiet;
    const QDateTime goes = schedule.reservation ? OrderDateTime(schedule.orderTime) : now;
    s.night = goes.isValid() && quiet.contains(goes);
    if (s.night) {
        s.morning = quiet.endAfter(goes);
        s.morningAllowed = CheckReservation(s.morning.toString(kOrderFormat), now).isEmpty();
    }
    buildLines(s, queued);
    return s;
}

bool SendSummary::needsAttention() const {
    if (duplicates + optedOut + oddLeftOut + emptyFieldsLeftOut + blank.count > 0)
        return true;
    for (const SummaryLine& l : lines)
        if (l.warning)
            return true;
    return false;
}

SummaryLine* SendSummary::line(SummaryTopic topic) {
    for (SummaryLine& l : lines)
        if (l.topic == topic)
            return &l;
    return nullptr;
}

const SummaryLine* SendSummary::line(SummaryTopic topic) const {
    return const_cast<SendSummary*>(this)->line(topic);
}

int SendSummary::chosen(SummaryTopic topic) const {
    const SummaryLine* l = line(topic);
    return l ? l->chosen : -1;
}

QStringList SendSummary::texts() const {
    QStringList out;
    for (const SummaryLine& l : lines)
        out << l.text;
    return out;
}

QByteArray SendSummary::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("recipients"), recipients);
    o.insert(QStringLiteral("messages"), messages);
    o.insert(QStringLiteral("duplicates"), duplicates);
    o.insert(QStringLiteral("optedOut"), optedOut);
    o.insert(QStringLiteral("oddNumbers"), oddNumbers);
    o.insert(QStringLiteral("oddLeftOut"), oddLeftOut);
    o.insert(QStringLiteral("sameNumberOtherText"), sameNumberOtherText);
    o.insert(QStringLiteral("emptyFields"), emptyFields);
    o.insert(QStringLiteral("emptyFieldsLeftOut"), emptyFieldsLeftOut);
    o.insert(QStringLiteral("blankTexts"), blank.count);
    // The first of them, by its list line (from 1) or, when it is no list row, by its name or number.
    o.insert(QStringLiteral("blankTextsFirstLine"),
             blank.count > 0 && blank.firstLine >= 0 ? QJsonValue(qint64(blank.firstLine) + 1) : QJsonValue());
    o.insert(QStringLiteral("blankTextsFirstRecipient"),
             blank.count > 0 && blank.firstLine < 0 ? QJsonValue(blank.firstWho) : QJsonValue());
    const QDateTime booked = OrderDateTime(schedule.orderTime);
    o.insert(QStringLiteral("reservation"), schedule.reservation && booked.isValid()
                                                ? QJsonValue(booked.toString(QStringLiteral("yyyy-MM-ddTHH:mm")))
                                                : QJsonValue());
    o.insert(QStringLiteral("validityMinutes"),
             schedule.limitMinutes > 0 ? QJsonValue(schedule.limitMinutes) : QJsonValue());
    o.insert(QStringLiteral("quietHours"), night);
    o.insert(QStringLiteral("link"), link);
    o.insert(QStringLiteral("overlongRows"), overlong.rows);
    QJsonArray marks;
    for (const int k : marksAsWritten)
        marks.append(k);
    o.insert(QStringLiteral("marksAsWritten"), marks);
    o.insert(QStringLiteral("rowsAsWritten"), rowsAsWritten.rows);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

SummarySchedule SendSummary::scheduleTaken() const {
    SummarySchedule taken = schedule;
    if (night && morningAllowed && chosen(SummaryTopic::QuietHours) == kMoveToMorning) {
        taken.reservation = true;
        taken.orderTime = morning.toString(kOrderFormat);
    }
    return taken;
}

} // namespace norvi
