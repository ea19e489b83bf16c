#include "CliHelp.h"

namespace norvi::cli {

namespace {

struct HelpEntry {
    const char* command;
    const char* summary;
    const char* text;
};

const HelpEntry kHelp[] = {
    {"login-test", "以設定檔的閘道位址、帳號與密碼做連線測試",
     "用法：norvi-cli [-C 目錄] login-test\n"
     "\n"
     "與參數設定視窗的「連線測試」相同：登入閘道後立即登出，印出測試結果。\n"
     "結束碼：登入成功為 0，否則為 1。\n"},
    {"send", "傳送簡訊",
     "用法：norvi-cli [-C 目錄] send [--text 訊息 | --text-file 檔案] [--list 發訊名單]\n"
     "                      [--replace] [--at YYYYMMDDHHNN] [--limit 分鐘] [--log 檔案]\n"
     "                      [--big5] [受訊者 ...]\n"
     "\n"
     "受訊者可以是電話號碼，或「=名稱」表示通訊錄中該名稱的成員或群組。\n"
     "  --text 訊息        訊息內容\n"
     "  --text-file 檔案   從檔案讀取訊息內容（最多 8 KB；檔尾的一個換行不計入）\n"
     "  --list 檔案        加入發訊名單檔的各列（每列：號碼，之後可接自己的訊息或 $1$ 到 $9$ 的替代值；\n"
     "                     最多 256 MB、一百萬行）\n"
     "  --replace          替代簡訊：以名單列的值填入訊息中的 $1$ 到 $9$（預設為一般簡訊）\n"
     "  --at YYYYMMDDHHNN  預約傳送的時間（最多 6 天內）\n"
     "  --limit 分鐘       訊息截止時間（最多 1440 分鐘）\n"
     "  --log 檔案         傳送紀錄檔（預設為運作記錄檔目錄下以時間命名的 .log 檔）；\n"
     "                     字元裝置或具名管道（例如 /dev/null）直接寫入，不會被取代\n"
     "  --big5             --text-file 與 --list 的檔案為 Big5 碼（預設為 UTF-8）；\n"
     "                     不是該編碼文字的檔案會指出第幾行並拒絕\n"
     "\n"
     "依傳送視窗的順序檢查輸入；未通過時在標準錯誤輸出印出原因。之後每則簡訊傳送完就印出一列\n"
     "（名稱、行動電話、傳送時間、傳送碼、傳送結果、查詢碼、查詢結果、訊息內容，以 Tab 分隔），\n"
     "最後印出作業摘要。\n"
     "\n"
     "傳送紀錄邊傳邊寫：傳送前先在紀錄檔旁建立「紀錄檔.XXXXXX.partial」並寫入磁碟，每則簡訊的結果\n"
     "一傳回就寫入（每秒至少同步到磁碟一次），結束時才取代紀錄檔本身。程式被強制結束或當機時，\n"
     "已被閘道接受的簡訊都留在 .partial 檔中：以 norvi-cli finish 把它完成。紀錄檔無法建立時\n"
     "（例如磁碟已滿）不傳送任何簡訊；傳送中寫入失敗則停止傳送。預設的紀錄檔名以獨佔方式建立，\n"
     "同時執行的傳送不會共用一個紀錄檔。名單檔分段讀取，記憶體用量不隨受訊者人數增加。\n"
     "沒有任何受訊者有電話號碼時不傳送，結束碼為 1。\n"
     "結束碼：全部傳送碼為 0 時為 0；有傳送失敗或被中斷時為 2；檢查未通過時為 1；\n"
     "傳送紀錄檔無法建立或寫入時為 3（已傳送的各列都在 .partial 檔中）；標準輸出無法寫入時為 4。\n"},
    {"query", "查詢傳送紀錄檔中訊息的狀態",
     "用法：norvi-cli [-C 目錄] query --log 檔案 [--rows 列號] [--out 檔案]\n"
     "\n"
     "對傳送紀錄檔的所有列，或 --rows 指定的列（從 0 起算，以逗號分隔，例如 0,2,5）查詢狀態，\n"
     "結果寫入各列的查詢碼與查詢結果。更新後的紀錄寫到 --out，未指定時寫回原檔（完整寫好後才取代）。\n"
     "作業中的紀錄寫在「檔案.XXXXXX.partial」，每筆結果一傳回就寫入。另一個 query、cancel 或 resend\n"
     "正在改寫同一個檔案時，會等它結束再開始（鎖定檔「檔案.lock」）。\n"
     "未完成（程式中斷而留下）或已損壞的紀錄檔會讀入全部完整的列，但只能以 --out 寫成另一個檔案。\n"
     "印出各列與作業摘要。結束碼：作業完成為 0；無法執行為 1；紀錄檔無法寫入為 3。\n"},
    {"cancel", "取消傳送紀錄檔中的預約訊息",
     "用法：norvi-cli [-C 目錄] cancel --log 檔案 [--rows 列號] [--out 檔案]\n"
     "\n"
     "對傳送紀錄檔的所有列，或 --rows 指定的列取消預約，結果寫入各列的查詢碼與查詢結果。\n"
     "其餘同 query。\n"},
    {"query-id", "以 MsgId 查詢單筆訊息",
     "用法：norvi-cli [-C 目錄] query-id MsgId\n"
     "\n"
     "印出結果碼與查詢結果兩行。結束碼：結果碼為 0 時為 0，否則為 2。\n"},
    {"cancel-id", "以 MsgId 取消單筆預約訊息",
     "用法：norvi-cli [-C 目錄] cancel-id MsgId\n"
     "\n"
     "印出預約取消碼與預約取消結果兩行。結束碼：取消碼為 0 時為 0，否則為 2。\n"},
    {"resend", "重新傳送紀錄檔中失敗的訊息",
     "用法：norvi-cli [-C 目錄] resend --log 檔案 [--rows 列號] [--out 檔案]\n"
     "\n"
     "失敗重發：檢查所有列或 --rows 指定的列，將確定失敗的訊息立即重新傳送（不預約、不設截止時間）。\n"
     "重發的各列接在原有各列之後，寫到 --out 或寫回原檔。印出各列與作業摘要。\n"
     "結束碼：重發的訊息全部成功為 0；有失敗或被中斷為 2；無法執行為 1；紀錄檔無法寫入為 3。\n"},
    {"log2csv", "將傳送紀錄檔轉成 CSV",
     "用法：norvi-cli log2csv 檔案 [--big5]\n"
     "\n"
     "在標準輸出寫出 CSV：第一列為八個欄位名稱，欄位依 RFC 4180 加引號，行尾為 CR LF。\n"
     "預設為帶位元組順序記號（BOM）的 UTF-8；--big5 則為 Big5 碼。\n"
     "結束碼：0；檔案無法讀取為 1；檔案不完整（只轉出完整的各列）為 2；標準輸出無法寫入為 4。\n"},
    {"finish", "完成程式中斷時留下的傳送紀錄檔",
     "用法：norvi-cli [-C 目錄] finish 檔案 [--out 檔案]\n"
     "\n"
     "send、resend、query、cancel 被強制結束（例如 kill -9、當機、斷電）時，留下未完成的紀錄檔\n"
     "「紀錄檔.XXXXXX.partial」：筆數欄為 -1，其中每一筆完整的紀錄都是有效的。這些指令在開始時會\n"
     "在標準錯誤輸出列出沒有程式在寫入的 .partial 檔。finish 讀入它全部完整的紀錄，寫成完整的\n"
     "紀錄檔（筆數正確）後刪除 .partial 檔：預設寫成去掉「.XXXXXX.partial」的檔名，該檔已存在且\n"
     "不是空檔時不會覆寫，請以 --out 指定檔案。其他筆數為 -1 的紀錄檔也可以 --out 寫成完整的檔案。\n"
     "結束碼：完成為 0；無法執行為 1；新檔案無法寫入為 3（.partial 檔保留）。\n"},
    {"segment", "顯示訊息會分成幾通簡訊及每通的內容",
     "用法：norvi-cli segment [--text 訊息 | --text-file 檔案] [--big5]\n"
     "\n"
     "先印出通數 N，再每行印出一通簡訊的內容（含分段的標頭）。\n"},
    {"book", "列出通訊錄，或與文字檔匯入、匯出",
     "用法：norvi-cli [-C 目錄] book list [--big5]\n"
     "      norvi-cli [-C 目錄] book import 檔案 [--space] [--map 欄位,欄位,欄位]\n"
     "      norvi-cli [-C 目錄] book export 檔案 [--space] [--fields 欄位,...] [--group 群組名稱]\n"
     "\n"
     "通訊錄為起始目錄的 AddressBook.bin，與桌面程式相同；變更後整個檔案寫好才取代原檔。\n"
     "\n"
     "list      每位成員一行：member、識別碼、名稱、行動電話、說明；之後每個群組一行：\n"
     "          group、識別碼、名稱、各成員與子群組的識別碼（以逗號分隔），各欄以 Tab 分隔。\n"
     "          輸出為 UTF-8；--big5 則為 Big5 碼。\n"
     "import    將文字檔的每一資料行加為新成員（不比對現有成員，匯入兩次就有兩份）。\n"
     "          第一個非空白行為標題行，其後每個非空白行為一筆資料。檔案為 Big5 碼；\n"
     "          有效的 UTF-8 檔（可有 BOM）也可匯入，沒有 Big5 字形的文字所在的行會指出行號並略過。\n"
     "          --space   以一個空白分隔欄位（預設以逗號分隔）；每行最多分成 3 欄，第 3 欄為其餘全部\n"
     "          --map     第 1 到第 3 欄各對應的通訊錄欄位：name（名稱）、msisdn（行動電話）、\n"
     "                    desc（說明），空白或 - 表示不匯入該欄，例如 --map name,,desc；\n"
     "                    未指定時依標題行的「名稱」、「行動電話」、「備註」自動對應\n"
     "          名稱與行動電話都沒有對應時不匯入。欄位數不足或無法轉成 Big5 的行在標準錯誤輸出\n"
     "          指出行號並略過。行動電話會去掉 - _ ~ * ( )。\n"
     "export    將成員寫成文字檔（Big5 碼，行尾 CR LF）：標題行，然後每位成員一行。\n"
     "          --space   以一個空白分隔欄位（預設以逗號分隔）\n"
     "          --fields  要匯出的欄位，依 名稱、行動電話、說明（標題為備註）的順序寫出；預設全部\n"
     "          --group   只匯出該群組直接包含的成員（依群組中的順序），不含子群組；\n"
     "                    未指定時依識別碼順序匯出全部成員\n"
     "          檔案已存在時會被取代；不能寫到通訊錄檔案本身。\n"
     "\n"
     "結束碼：0 完成；1 參數有誤、檔案無法讀寫或沒有對應名稱與行動電話，通訊錄未變更；\n"
     "2 匯入完成但有些行未匯入；3 匯入後通訊錄檔案無法寫入；4 標準輸出無法寫入。\n"},
};

} // namespace

QString ProgramHelp() {
    QString text =
        QString::fromUtf8("用法：norvi-cli [-C 目錄] [-v] [--reply-wait 秒數] 指令 [參數 ...]\n"
                          "\n"
                          "Norvi簡訊服務軟體的命令列版本：與桌面程式共用設定檔、通訊錄、檢查規則與傳送紀錄檔。\n"
                          "\n"
                          "  -C 目錄   起始目錄（預設為目前目錄）：讀取其中的 NorviSMSAp.cfg 與 AddressBook.bin；\n"
                          "            運作記錄寫到設定的運作記錄檔目錄（相對的目錄以起始目錄為準）。\n"
                          "            命令列上的其他檔案路徑相對於目前目錄。\n"
                          "  -v        將訊息視窗的內容（執行緒的啟動與結束、失敗訊息）寫到標準錯誤輸出\n"
                          "  --reply-wait 秒數\n"
                          "            等待閘道回應的最長時間（1 到 3600 秒，預設 30）：從送出要求到收齊回應，\n"
                          "            逾時則該次交換失敗（Recv()逾時）\n"
                          "  --help    顯示本說明；norvi-cli 指令 --help 顯示該指令的說明\n"
                          "\n"
                          "指令：\n");
    for (const HelpEntry& e : kHelp)
        text += QStringLiteral("  %1 %2\n").arg(QString::fromLatin1(e.command), -11).arg(QString::fromUtf8(e.summary));
    text += QString::fromUtf8(
        "\n命令列上的文字與檔案為 UTF-8，轉成 Big5 使用；輸出為 UTF-8。\n"
        "\n"
        "結束碼：\n"
        "  0  完成\n"
        "  1  參數或輸入有誤、檢查未通過，或檔案、設定、閘道位址無法使用；沒有送出任何簡訊\n"
        "  2  有簡訊傳送失敗，或作業被中斷：Ctrl+C、SIGTERM 或 SIGHUP 會在目前與閘道的交換完成後停止，\n"
        "     並照常儲存傳送紀錄；再送一次訊號則儲存已有的紀錄後立即結束\n"
        "  3  傳送紀錄檔無法建立（沒有送出任何簡訊）或無法寫入（作業停止；已寫入的各列在\n"
        "     .partial 檔中，以 norvi-cli finish 完成）\n"
        "  4  標準輸出無法寫入（例如磁碟已滿或管線已關閉），印出的內容不完整；傳送紀錄已儲存\n");
    return text;
}

QString CommandHelp(const QString& command) {
    for (const HelpEntry& e : kHelp)
        if (command == QLatin1String(e.command))
            return QString::fromUtf8(e.text);
    return QString();
}

QStringList CommandNames() {
    QStringList names;
    for (const HelpEntry& e : kHelp)
        names.append(QString::fromLatin1(e.command));
    return names;
}

} // namespace norvi::cli
