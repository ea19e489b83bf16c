#include "core/gateway/ResultCodes.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

using namespace norvi;

namespace {

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

TEST(ResultCodes, ResultTextJoinsTableTextAndMessage) {
    const struct {
        int code;
        CodeTable table;
        const char* message;
        const char* expected;
    } cases[] = {
        {0, CodeTable::Send, "NV123", "訊息已成功送出(MsgId:NV123)"},
        {1, CodeTable::Login, "", "密碼錯誤()"},
        // A code without a text in its table is never dropped: the request's words and the code stand in.
        {14, CodeTable::Query, "odd", "無法辨識的查詢結果（代碼 14）(odd)"},
        {99, CodeTable::Login, "", "登入失敗（代碼 99）"},
        {17, CodeTable::Send, "", "傳送失敗（代碼 17）"},
        {-1, CodeTable::Send, "Send()逾時", "Send()逾時"}, // a transport failure stands alone
        {50, CodeTable::Send, "login first", "尚未經過密碼檢查就發送(login first)"},
        {30, CodeTable::Login, "m", "傳送的訊息長度有誤(m)"},
        {35, CodeTable::Cancel, "z", "無法辨識的取消預約結果（代碼 35）(z)"},
        {0, CodeTable::Cancel, "cancelled", "取消成功(cancelled)"},
        {11, CodeTable::Send, "busy", "系統暫時無法傳送訊息(busy)"},
        {29, CodeTable::Query, "x", "無法辨識的查詢結果（代碼 29）(x)"}}; // the last code before the general ones
    for (const auto& c : cases)
        EXPECT_EQ(fromBig5(ResultText(c.code, c.table, big5(c.message))), QString::fromUtf8(c.expected)) << c.expected;
}

TEST(ResultCodes, ConnectionTestShowsOnlyTheTableText) {
    const struct {
        bool loggedIn;
        int code;
        const char* message;
        const char* expected;
    } cases[] = {{true, 0, "login ok", "帳號/密碼檢查成功"},
                 {false, 2, "unknown account", "帳號不存在"},
                 {false, 51, "again", "已通過密碼檢查，又送來帳號密碼檢查"},
                 {false, -1, "網路連線失敗", "網路連線失敗"},
                 {false, 9, "x", "登入失敗（代碼 9）(x)"},
                 {false, 99, "", "登入失敗（代碼 99）"},
                 {false, 35, "", "登入失敗（代碼 35）"}};
    for (const auto& c : cases)
        EXPECT_EQ(fromBig5(LoginTestText(c.loggedIn, c.code, big5(c.message))), QString::fromUtf8(c.expected))
            << c.expected;
}

} // namespace
