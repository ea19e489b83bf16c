#include "core/compose/SendValidation.h"
#include "core/shared/Clock.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <functional>

using namespace norvi;

namespace {

const QDateTime kNow(QDate(2024, 3, 10), QTime(14, 30, 0));

void reserve(SendRequest& r, const QDateTime& at) {
    r.reservation = true;
    r.year = QString::number(at.date().year());
    r.month = DropDownItem(at.date().month());
    r.day = DropDownItem(at.date().day());
    r.hour = DropDownItem(at.time().hour());
    r.minute = DropDownItem(at.time().minute());
}

void limit(SendRequest& r, const char* hour, const char* minute) {
    r.limitChecked = true;
    r.limitHour = QString::fromUtf8(hour);
    r.limitMinute = QString::fromUtf8(minute);
}

class SendValidationTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setFixed(kNow); }
    void TearDown() override { Clock::reset(); }
};

// Each case changes a valid request; the text is that of the first failing check, or none.
TEST_F(SendValidationTest, ChecksRunInOrderAndTheFirstFailureIsReported) {
    const struct {
        const char* name;
        std::function<void(SendRequest&)> change;
        const char* error;
    } cases[] = {
        {"no recipients, no text", [](SendRequest& r) { r.recipientCount = 0, r.message.clear(); },
         "請選擇、上載或輸入受訊者！"},
        {"six days to the minute", [](SendRequest& r) { reserve(r, kNow.addDays(6)); }, nullptr},
        {"one minute more", [](SendRequest& r) { reserve(r, kNow.addDays(6).addSecs(60)); }, "預約傳送超過6天限制！"},
        {"past minute", [](SendRequest& r) { reserve(r, kNow.addSecs(-60)); }, "不可預約過去的時間！"},
        {"30 February",
         [](SendRequest& r) { reserve(r, kNow), r.month = QStringLiteral("  2"), r.day = QStringLiteral("30"); },
         "預約傳送時間格式錯誤！"},
        {"year not a number", [](SendRequest& r) { reserve(r, kNow), r.year = QStringLiteral("20x4"); },
         "預約傳送時間格式錯誤！"},
        {"limit 24:01", [](SendRequest& r) { limit(r, "24", "  1"); }, "訊息截止時間超過24小時！"},
        {"limit 24:00", [](SendRequest& r) { limit(r, "24", "  0"); }, nullptr},
        {"limit not a number", [](SendRequest& r) { limit(r, "two", "  0"); }, "訊息截止時間格式錯誤！"},
        {"empty text", [](SendRequest& r) { r.message.clear(); }, "請輸入訊息內容！"},
        // A phone would show nothing: spaces, line breaks, a full-width space.
        {"blank text", [](SendRequest& r) { r.message = QStringLiteral(" \r\n\t\u3000 "); }, "請輸入訊息內容！"},
        {"phone number in one piece", [](SendRequest& r) { r.message = QStringLiteral("請回電0912345678"); },
         "簡訊內容包含電話號嗎，請用 '-' 符號分開才可正常傳送，如 02-2344xxxx或 0910-123xxx。"},
        {"phone number with a dash", [](SendRequest& r) { r.message = QStringLiteral("請回電0912-345678"); }, nullptr},
        {"escape pasted in", [](SendRequest& r) { r.message = QStringLiteral("明天\x1b[31m開會"); },
         "訊息內容的第 3 個字是看不見的控制字元（U+001B），手機無法顯示，請刪除後再傳送。"},
        {"C1 control", [](SendRequest& r) { r.message = QStringLiteral("ab\u0080"); },
         "訊息內容的第 3 個字是看不見的控制字元（U+0080），手機無法顯示，請刪除後再傳送。"},
        {"tabs and line breaks", [](SendRequest& r) { r.message = QStringLiteral("明天\t開會\r\n地點\n三樓"); },
         nullptr},
    };
    for (const auto& c : cases) {
        SendRequest r;
        r.recipientCount = 1;
        r.message = QStringLiteral("明天開會");
        c.change(r);
        const SendValidationResult v = ValidateSend(r);
        EXPECT_EQ(v.ok, c.error == nullptr) << c.name;
        EXPECT_EQ(v.error, c.error ? QString::fromUtf8(c.error) : QString()) << c.name;
    }
}

TEST_F(SendValidationTest, PassingRequestCarriesOrderTimeLimitAndBig5Text) {
    SendRequest r;
    r.recipientCount = 1;
    r.message = QStringLiteral("明天開會");
    reserve(r, kNow);
    limit(r, "  2", "  5");
    const SendValidationResult v = ValidateSend(r);
    ASSERT_TRUE(v.ok) << v.error.toStdString(); // the current minute at its first instant
    EXPECT_EQ(v.orderTime, QStringLiteral("20240310143000"));
    EXPECT_EQ(v.limitMinutes, 125);
    EXPECT_EQ(v.message, QByteArray("\xA9\xFA\xA4\xD1\xB6\x7D\xB7\x7C"));

    Clock::setFixed(kNow.addMSecs(500)); // once its seconds have begun, the current minute is past
    EXPECT_EQ(ValidateSend(r).error, QStringLiteral("不可預約過去的時間！"));
    r.reservation = false;
    r.message = QStringLiteral("生日快樂🎂");
    EXPECT_TRUE(ValidateSend(r).error.contains(QStringLiteral("🎂")));
}

TEST(ReservationDropDowns, DaysMonthsAndYearsOffered) {
    for (const auto& [year, month, days] : {std::tuple{2024, 2, 29},
                                            {2023, 2, 28},
                                            {1900, 2, 28},
                                            {2000, 2, 29},
                                            {2024, 4, 30},
                                            {2024, 11, 30},
                                            {2024, 12, 31}})
        EXPECT_EQ(DaysInMonth(year, month), days) << year << "-" << month;
    EXPECT_EQ(DayAfterMonthChange(31, 2024, 2), 29);
    EXPECT_EQ(DayAfterMonthChange(15, 2023, 2), 15);
    EXPECT_EQ(DropDownItems(8, 11),
              (QStringList{QStringLiteral("  8"), QStringLiteral("  9"), QStringLiteral("10"), QStringLiteral("11")}));
    EXPECT_EQ(BuildOrderTime(QStringLiteral("2024"), QStringLiteral("  3"), QStringLiteral("  5"),
                             QStringLiteral("  9"), QStringLiteral("  7")),
              QStringLiteral("20240305090700"));

    const struct {
        QDateTime now;
        QStringList years;
        std::vector<int> selected; // year index, month, day, hour, minute, days in the month
    } cases[] = {
        {QDateTime(QDate(2024, 12, 29), QTime(23, 59)), {QStringLiteral("2024")}, {0, 12, 30, 23, 59, 31}},
        {QDateTime(QDate(2024, 12, 30), QTime(8, 5)),
         {QStringLiteral("2024"), QStringLiteral("2025")},
         {0, 12, 31, 8, 5, 31}},
        {QDateTime(QDate(2024, 12, 31), QTime(0, 0)),
         {QStringLiteral("2024"), QStringLiteral("2025")},
         {1, 1, 1, 0, 0, 31}},
        {QDateTime(QDate(2024, 2, 28), QTime(9, 41)), {QStringLiteral("2024")}, {0, 2, 29, 9, 41, 29}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now.toString(Qt::ISODate).toStdString());
        const ReservationDefaults d = ReservationDropDowns(c.now);
        EXPECT_EQ(d.years, c.years);
        EXPECT_EQ((std::vector<int>{d.yearIndex, d.month, d.day, d.hour, d.minute, d.daysInMonth}), c.selected);
    }
}

} // namespace
