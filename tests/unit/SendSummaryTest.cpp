#include "core/compose/SendSummary.h"
#include "core/compose/LinkCheck.h"
#include "core/shared/Big5.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace norvi;

namespace {

const QDateTime kSummaryDay(QDate(2024, 3, 1), QTime(10, 0));
const QDateTime kSummaryNight(QDate(2024, 3, 1), QTime(23, 40));

SendQueueResult countedRun(int recipients, int messages) {
    SendQueueResult r;
    r.recipients = recipients;
    r.totalCount = messages;
    return r;
}

} // namespace

TEST(LinkCheckTest, LinksAreFoundInOneByteTextOnly) {
    const struct {
        QByteArray text;
        bool link;
    } cases[] = {
        {"see https://example.com", true},
        {"HTTP://X", true},
        {"www.example.com.tw", true},
        {big5("優惠請點 reurl.cc/abc"), true},
        {"bit.ly/x", true},
        {"tinyurl.com/y", true},
        {big5("明天下午三點開會"), false},
        {"call 0912-345-678", false},
        // Four Big5 characters whose second bytes read h, t, t, p make no link.
        {QByteArray("\xA2h\xA5t\xA5t\xA5p"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HoldsLink(c.text), c.link) << c.text.toHex().constData();
}

TEST(SendSummaryTest, LinesSayWhoIsReachedWhoIsLeftOutAndWhatWarns) {
    SendQueueResult r = countedRun(3, 6);
    r.duplicates = 2;
    r.optedOut = 1;
    r.sameNumberOtherText = 1;
    r.link = true;
    const SendSummary s = SummarizeSend(r, {true, QStringLiteral("20240302093000"), 90}, QuietHours(), kSummaryDay);
    EXPECT_EQ(s.texts(),
              (QStringList{QStringLiteral("收訊人 3 位、共 6 通簡訊"),
                           QStringLiteral("略過：重複 2、拒收 1、號碼不符 0"), QStringLiteral("同一門號不同內容 1 筆"),
                           QStringLiteral("預約時間：2024/03/02 09:30"), QStringLiteral("有效期限：1 小時 30 分鐘"),
                           QStringLiteral("訊息含有網址，收訊人可能當成詐騙簡訊")}));
    EXPECT_TRUE(s.needsAttention());

    const QJsonObject json = QJsonDocument::fromJson(s.toJson()).object();
    EXPECT_EQ(json.value(QStringLiteral("recipients")).toInt(), 3);
    EXPECT_EQ(json.value(QStringLiteral("messages")).toInt(), 6);
    EXPECT_EQ(json.value(QStringLiteral("duplicates")).toInt(), 2);
    EXPECT_EQ(json.value(QStringLiteral("optedOut")).toInt(), 1);
    EXPECT_EQ(json.value(QStringLiteral("reservation")).toString(), QStringLiteral("2024-03-02T09:30"));
    EXPECT_EQ(json.value(QStringLiteral("validityMinutes")).toInt(), 90);
    EXPECT_TRUE(json.value(QStringLiteral("link")).toBool());

    // Nothing left out and nothing to warn of: the summary can stay away when the user asked so.
    const SendSummary plain = SummarizeSend(countedRun(2, 2), {}, QuietHours(), kSummaryDay);
    EXPECT_FALSE(plain.needsAttention());
    EXPECT_TRUE(plain.shows(SummaryShown::Always));
    EXPECT_FALSE(plain.shows(SummaryShown::Warnings));
    EXPECT_TRUE(QJsonDocument::fromJson(plain.toJson()).object().value(QStringLiteral("reservation")).isNull());
}

TEST(SendSummaryTest, ANightRunIsMovedToTheMorningUnlessThatPassesTheReservationLimit) {
    const SendSummary now = SummarizeSend(countedRun(1, 1), {}, QuietHours(), kSummaryNight);
    const SummaryLine* line = now.line(SummaryTopic::QuietHours);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text, QStringLiteral("現在是夜間（21:00–08:00）"));
    EXPECT_EQ(line->choices, (QStringList{QStringLiteral("改為 08:00 預約傳送"), QStringLiteral("照常傳送")}));
    EXPECT_EQ(line->chosen, kMoveToMorning);
    EXPECT_TRUE(now.shows(SummaryShown::Warnings));
    const SummarySchedule moved = now.scheduleTaken();
    EXPECT_TRUE(moved.reservation);
    EXPECT_EQ(moved.orderTime, QStringLiteral("20240302080000"));
    SendSummary anyway = now;
    anyway.line(SummaryTopic::QuietHours)->chosen = kSendAtNight;
    EXPECT_FALSE(anyway.scheduleTaken().reservation);

    // A reservation typed for 03:00 by mistake, and one on the last day a reservation may reach.
    const SendSummary booked =
        SummarizeSend(countedRun(1, 1), {true, QStringLiteral("20240302030000"), 0}, QuietHours(), kSummaryDay);
    EXPECT_EQ(booked.line(SummaryTopic::QuietHours)->text, QStringLiteral("預約時間在夜間（21:00–08:00）"));
    EXPECT_EQ(booked.scheduleTaken().orderTime, QStringLiteral("20240302080000"));
    const SendSummary last = SummarizeSend(countedRun(1, 1), {true, QStringLiteral("20240307060000"), 0}, QuietHours(),
                                           QDateTime(QDate(2024, 3, 1), QTime(7, 30)));
    EXPECT_TRUE(last.line(SummaryTopic::QuietHours)->onlyChoice);
    EXPECT_EQ(last.scheduleTaken().orderTime, QStringLiteral("20240307060000"));

    QuietHours off;
    off.enabled = false;
    EXPECT_EQ(SummarizeSend(countedRun(1, 1), {}, off, kSummaryNight).line(SummaryTopic::QuietHours), nullptr);
}

TEST(SendSummaryTest, OddNumbersAndAnEmptyRunAreLinesWithTheirChoice) {
    SendQueueResult r = countedRun(0, 0);
    r.odd.addTyped("abc");
    r.oddLeftOut = 1;
    const SendSummary s = SummarizeSend(r, {}, QuietHours(), kSummaryDay);
    EXPECT_EQ(s.chosen(SummaryTopic::OddNumbers), kLeaveOutOdd);
    EXPECT_EQ(s.line(SummaryTopic::OddNumbers)->text, QStringLiteral("以下 1 筆不是手機門號：abc"));
    EXPECT_NE(s.line(SummaryTopic::NothingToSend), nullptr);
    EXPECT_EQ(s.chosen(SummaryTopic::Link), -1);
}

TEST(SendSummaryTest, RecipientsATemplateLeavesAFieldEmptyForAreALineWithItsChoice) {
    SendQueueResult r = countedRun(2, 2);
    r.emptyFields.addListLine(2, {1});
    const SendSummary sent = SummarizeSend(r, {}, QuietHours(), kSummaryDay);
    ASSERT_NE(sent.line(SummaryTopic::EmptyFields), nullptr);
    EXPECT_EQ(sent.line(SummaryTopic::EmptyFields)->text,
              QStringLiteral("以下 1 位受訊者的訊息缺少替代欄位的值：第 3 行缺 $1$"));
    EXPECT_EQ(sent.chosen(SummaryTopic::EmptyFields), kSendEmptyFields);
    EXPECT_TRUE(sent.needsAttention()) << "shown even when only warnings are to be shown";

    r.emptyFieldsLeftOut = 1;
    const SendSummary left = SummarizeSend(r, {}, QuietHours(), kSummaryDay);
    EXPECT_EQ(left.chosen(SummaryTopic::EmptyFields), kLeaveOutEmptyFields);
    EXPECT_EQ(left.line(SummaryTopic::LeftOut)->text,
              QStringLiteral("略過：重複 0、拒收 0、號碼不符 0、缺少替代欄位 1"));
    const QJsonObject json = QJsonDocument::fromJson(left.toJson()).object();
    EXPECT_EQ(json.value(QStringLiteral("emptyFields")).toInt(), 1);
    EXPECT_EQ(json.value(QStringLiteral("emptyFieldsLeftOut")).toInt(), 1);
}

// What goes out otherwise than written warns, so the box shows even when only warnings are to be shown, and a script
// reading the counts learns of it.
TEST(SendSummaryTest, CutListTextsAndMarksOfAPlainMessageAreWarnings) {
    SendQueueResult r = countedRun(3, 8);
    r.overlong.add(4);
    r.overlong.add(9);
    r.marksAsWritten = {1, 2};
    const SendSummary s = SummarizeSend(r, {}, QuietHours(), kSummaryDay);
    ASSERT_NE(s.line(SummaryTopic::OverlongRows), nullptr);
    EXPECT_EQ(s.line(SummaryTopic::OverlongRows)->text,
              QStringLiteral("2 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 5 行"));
    ASSERT_NE(s.line(SummaryTopic::MarksAsWritten), nullptr);
    EXPECT_EQ(s.line(SummaryTopic::MarksAsWritten)->text,
              QStringLiteral("一般簡訊不填入名單的值：訊息中的 $1$、$2$ 會照原樣送出，要填入請改用替代簡訊"));
    EXPECT_TRUE(s.shows(SummaryShown::Warnings));
    const QJsonObject json = QJsonDocument::fromJson(s.toJson()).object();
    EXPECT_EQ(json.value(QStringLiteral("overlongRows")).toInt(), 2);
    EXPECT_EQ(json.value(QStringLiteral("marksAsWritten")).toArray(), (QJsonArray{1, 2}));

    const SendSummary plain = SummarizeSend(countedRun(3, 3), {}, QuietHours(), kSummaryDay);
    EXPECT_EQ(plain.line(SummaryTopic::OverlongRows), nullptr);
    EXPECT_EQ(plain.line(SummaryTopic::MarksAsWritten), nullptr);
}
