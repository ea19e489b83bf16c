#include "core/gateway/ResultCodes.h"

#include "core/shared/Big5.h"

#include <algorithm>
#include <array>
#include <map>

namespace norvi {

namespace {

struct Entry {
    int code;
    const char* text; // UTF-8; kept in Big5 once built
};

const Entry kLogin[] = {
    {0, "帳號/密碼檢查成功"},      {1, "密碼錯誤"},         {2, "帳號不存在"},       {3, "超過允許的最大連線數目"},
    {4, "帳號狀態不正確或已退租"}, {5, "無法取得帳號資料"}, {6, "無法取得密碼資料"}, {7, "暫時無法檢查帳號/密碼"},
};

const Entry kSend[] = {
    {0, "訊息已成功送出"},
    {1, "國別格式錯誤"},
    {2, "編碼格式錯誤"},
    {3, "優先權格式錯誤"},
    {4, "Msg_content_len格式錯誤"},
    {5, "Msg_content_len與msg_content的長度不相符"},
    {6, "接收手機號碼格式錯誤"},
    {7, "傳送型式的格式錯誤"},
    {8, "限時傳送格式錯誤"},
    {9, "預約傳送格式錯誤"},
    {10, "目前暫不開放傳送至國外"},
    {11, "系統暫時無法傳送訊息"},
    {12, "長簡訊訊息次序錯誤"},
    {13, "wap push的url沒有設定"},
    {14, "wap push的訊息內容超過88個byte"},
    {15, "加值出帳HN格式錯誤"},
    {16, "簡訊內容包含連續9-10碼的電話號碼，不合規定"},
};

// Code 14 has no text of its own.
const Entry kQuery[] = {
    {0, "訊息已送達對方"},
    {1, "手機未開或在受訊範圍外"},
    {2, "系統無此messageID的資料"},
    {3, "MessageID 資料有誤"},
    {4, "已送至簡訊中心，尚未完成查詢"},
    {5, "預約傳送時間超過48小時"},
    {6, "傳送二進位訊息到呼叫器"},
    {7, "訊息轉碼失敗"},
    {8, "手機號碼或簡訊內容格式錯誤"},
    {9, "簡訊在Queue Server端，已過期"},
    {10, "簡訊在簡訊中心已被移除或超過重送時間"},
    {11, "長簡訊訊息數目錯誤"},
    {12, "長簡訊訊息次序錯誤"},
    {13, "長簡訊傳送中有Socket Send Error"},
    {15, "訊息狀態有誤"},
    {16, "傳送失敗"},
    {17, "訊息無法送達對方"},
    {18, "無法判斷的錯誤訊息"},
    {19, "訊息已送至簡訊中心"},
    {20, "預約簡訊，等待傳送中"},
    {21, "預約簡訊，已取消傳送"},
    {22, "簡訊內容不合規定"},
};

const Entry kCancel[] = {
    {0, "取消成功"},
    {1, "此簡訊目前非預約狀態"},
    {2, "系統無此訊"},
    {3, "MessageID 資料有誤"},
};

const Entry kGeneral[] = {
    {30, "傳送的訊息長度有誤"},
    {31, "網路傳輸發生錯誤"},
    {32, "訊息種類無法辨識"},
    {40, "系統內部錯誤"},
    {41, "系統內部錯誤"},
    {50, "尚未經過密碼檢查就發送"},
    {51, "已通過密碼檢查，又送來帳號密碼檢查"},
    {52, "文字簡訊傳送未申請"},
    {53, "接收文字簡訊未申請"},
    {54, "operation logo未申請"},
    {55, "鈴聲服務未申請"},
    {56, "picture message未申請"},
    {57, "長簡訊未申請"},
    {58, "國際簡訊未申請"},
};

const int kSendRetry[] = {3, 11, 31, 40, 41};
const int kQueryAskAgain[] = {-1, 3, 31, 40, 41};
const int kNotFailedQuery[] = {-1, 0, 1, 3, 4, 19, 20, 31, 40, 41};

using Table = std::map<int, QByteArray>;

template <std::size_t N> void fill(Table& table, const Entry (&entries)[N]) {
    for (const Entry& e : entries)
        table.emplace(e.code, big5(e.text));
}

// Built on first use (thread-safely, by the language's rule for a local static) and never changed after, so
// every thread reads them without a lock.
const Table& tableOf(CodeTable table) {
    static const std::array<Table, 5> tables = [] {
        std::array<Table, 5> built;
        fill(built[static_cast<int>(CodeTable::Login)], kLogin);
        fill(built[static_cast<int>(CodeTable::Send)], kSend);
        fill(built[static_cast<int>(CodeTable::Query)], kQuery);
        fill(built[static_cast<int>(CodeTable::Cancel)], kCancel);
        fill(built[static_cast<int>(CodeTable::General)], kGeneral);
        return built;
    }();
    return tables[static_cast<int>(table)];
}

QByteArray parenthesised(const QByteArray& text, const QByteArray& message) {
    return text + '(' + message + ')';
}

// A code the tables do not explain still says what was asked and which code came back:
// "登入失敗（代碼 99）", never an empty text or a bare "(...)".
QByteArray unexplained(CodeTable table, int code) {
    const char* what = "";
    switch (table) {
    case CodeTable::Login:
        what = "登入失敗";
        break;
    case CodeTable::Send:
        what = "傳送失敗";
        break;
    case CodeTable::Query:
        what = "無法辨識的查詢結果";
        break;
    case CodeTable::Cancel:
        what = "無法辨識的取消預約結果";
        break;
    case CodeTable::General:
        what = "閘道錯誤";
        break;
    }
    return big5(QStringLiteral("%1（代碼 %2）").arg(QString::fromUtf8(what)).arg(code));
}

// The table's text, or the words for a code it has no text for, with the gateway's text in brackets when
// there is one to add.
QByteArray explained(CodeTable table, CodeTable request, int code, const QByteArray& message) {
    const QByteArray text = CodeText(table, code);
    if (!text.isEmpty())
        return parenthesised(text, message);
    const QByteArray words = unexplained(request, code);
    return message.isEmpty() ? words : parenthesised(words, message);
}

} // namespace

void BuildResultTables() {
    (void)tableOf(CodeTable::Login);
}

bool CodeSet::contains(int code) const {
    return std::find(m_codes, m_codes + m_count, code) != m_codes + m_count;
}

const CodeSet SendRetryCodes(kSendRetry);
const CodeSet QueryAskAgainCodes(kQueryAskAgain);
const CodeSet NotFailedQueryCodes(kNotFailedQuery);

QByteArray CodeText(CodeTable table, int code) {
    const Table& t = tableOf(table);
    const auto it = t.find(code);
    return it == t.end() ? QByteArray() : it->second;
}

QByteArray ResultText(int code, CodeTable table, const QByteArray& message) {
    if (code >= 30)
        return explained(CodeTable::General, table, code, message);
    if (code < 0)
        return message.isEmpty() ? unexplained(table, code) : message;
    if (code == 0 && table == CodeTable::Send)
        return CodeText(CodeTable::Send, 0) + "(MsgId:" + message + ')';
    return explained(table, table, code, message);
}

QByteArray LoginTestText(bool loggedIn, int code, const QByteArray& message) {
    if (loggedIn)
        return CodeText(CodeTable::Login, 0);
    if (code < 0)
        return message.isEmpty() ? unexplained(CodeTable::Login, code) : message;
    QByteArray text = CodeText(code >= 30 ? CodeTable::General : CodeTable::Login, code);
    if (!text.isEmpty())
        return text;
    const QByteArray words = unexplained(CodeTable::Login, code);
    return message.isEmpty() ? words : parenthesised(words, message);
}

} // namespace norvi
