#include "core/gateway/ResultCodes.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

using namespace norvi;

namespace {

struct TextCase {
    CodeTable table;
    int code;
    const char* text; // empty: no entry
};

class CodeTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CodeTextTest, TableGivesItsTextInBig5OrNothing) {
    const TextCase& c = GetParam();
    EXPECT_EQ(CodeText(c.table, c.code), big5(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, CodeTextTest,
    ::testing::Values(TextCase{CodeTable::Login, 0, "帳號/密碼檢查成功"}, TextCase{CodeTable::Login, 8, ""},
                      TextCase{CodeTable::Send, 0, "訊息已成功送出"},
                      TextCase{CodeTable::Send, 16, "簡訊內容包含連續9-10碼的電話號碼，不合規定"},
                      TextCase{CodeTable::Send, 17, ""}, TextCase{CodeTable::Query, 14, ""},
                      TextCase{CodeTable::Query, 15, "訊息狀態有誤"}, TextCase{CodeTable::Query, 23, ""},
                      TextCase{CodeTable::Cancel, 2, "系統無此訊"}, TextCase{CodeTable::Cancel, 4, ""},
                      TextCase{CodeTable::General, 29, ""}, TextCase{CodeTable::General, 32, "訊息種類無法辨識"},
                      TextCase{CodeTable::General, 35, ""}, TextCase{CodeTable::General, 59, ""},
                      TextCase{CodeTable::Send, -1, ""}));

// What the program does on a code is named in a code set; each such code must be one its table can explain,
// or a set names a code the gateway never gives (a slip of a digit).
TEST(ResultCodes, EveryCodeTheProgramActsOnIsExplainedByItsTable) {
    const auto explained = [](CodeTable table, int code) {
        return !CodeText(code >= 30 ? CodeTable::General : table, code).isEmpty();
    };
    for (int code = 0; code < 100; ++code) {
        EXPECT_TRUE(!SendRetryCodes.contains(code) || explained(CodeTable::Send, code)) << code;
        const bool queryActsOnIt = QueryAskAgainCodes.contains(code) || NotFailedQueryCodes.contains(code);
        EXPECT_TRUE(!queryActsOnIt || explained(CodeTable::Query, code)) << code;
    }
}

struct ResultCase {
    const char* name;
    int code;
    CodeTable table;
    const char* message;
    const char* expected;
};
void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << c.name;
}

class ResultTextTest : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultTextTest, ResultTextJoinsTableTextAndMessage) {
    const ResultCase& c = GetParam();
    EXPECT_EQ(fromBig5(ResultText(c.code, c.table, big5(c.message))), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, ResultTextTest,
    ::testing::Values(
        ResultCase{"SendSuccessShowsTheMsgId", 0, CodeTable::Send, "NV123", "訊息已成功送出(MsgId:NV123)"},
        ResultCase{"RefusedLoginWithEmptyText", 1, CodeTable::Login, "", "密碼錯誤()"},
        // A code without a text in its table is never dropped: the request's words and the code stand in.
        ResultCase{"CodeWithoutEntry", 14, CodeTable::Query, "odd", "無法辨識的查詢結果（代碼 14）(odd)"},
        ResultCase{"LoginCodeWithoutTextOrMessage", 99, CodeTable::Login, "", "登入失敗（代碼 99）"},
        ResultCase{"SendCodeWithoutEntry", 17, CodeTable::Send, "", "傳送失敗（代碼 17）"},
        ResultCase{"TransportFailureStandsAlone", -1, CodeTable::Send, "Send()逾時", "Send()逾時"},
        ResultCase{"GeneralCodeAfterSend", 50, CodeTable::Send, "login first", "尚未經過密碼檢查就發送(login first)"},
        ResultCase{"GeneralCodeAfterLogin", 30, CodeTable::Login, "m", "傳送的訊息長度有誤(m)"},
        ResultCase{"GeneralCodeWithoutEntry", 35, CodeTable::Cancel, "z", "無法辨識的取消預約結果（代碼 35）(z)"},
        ResultCase{"CancelSuccess", 0, CodeTable::Cancel, "cancelled", "取消成功(cancelled)"},
        ResultCase{"SendRefusal", 11, CodeTable::Send, "busy", "系統暫時無法傳送訊息(busy)"},
        ResultCase{"LastCodeBeforeGeneral", 29, CodeTable::Query, "x", "無法辨識的查詢結果（代碼 29）(x)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LoginTestCase {
    const char* name;
    bool loggedIn;
    int code;
    const char* message;
    const char* expected;
};
void PrintTo(const LoginTestCase& c, std::ostream* os) {
    *os << c.name;
}

class LoginTestTextTest : public ::testing::TestWithParam<LoginTestCase> {};

TEST_P(LoginTestTextTest, ConnectionTestShowsOnlyTheTableText) {
    const LoginTestCase& c = GetParam();
    EXPECT_EQ(fromBig5(LoginTestText(c.loggedIn, c.code, big5(c.message))), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, LoginTestTextTest,
    ::testing::Values(LoginTestCase{"Success", true, 0, "login ok", "帳號/密碼檢查成功"},
                      LoginTestCase{"Refused", false, 2, "unknown account", "帳號不存在"},
                      LoginTestCase{"GeneralCode", false, 51, "again", "已通過密碼檢查，又送來帳號密碼檢查"},
                      LoginTestCase{"TransportFailure", false, -1, "網路連線失敗", "網路連線失敗"},
                      LoginTestCase{"CodeWithoutEntry", false, 9, "x", "登入失敗（代碼 9）(x)"},
                      LoginTestCase{"CodeWithoutText", false, 99, "", "登入失敗（代碼 99）"},
                      LoginTestCase{"GeneralCodeWithoutText", false, 35, "", "登入失敗（代碼 35）"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
