#pragma once

class QTreeView;
class QWidget;

namespace norvi {

class FittedColumns;

// The send log's columns sized to what they show: a whole send time, a whole "訊息已成功送出(MsgId:…)"
// result, the other columns at least at their table widths (名稱 56, 行動電話 80, 傳送碼 54, 查詢碼 54,
// 查詢結果 80, 訊息內容 160).
FittedColumns* fitSendLogColumns(QTreeView* list);

// The width the main window opens with: wide enough for the list to show every column whole, never
// narrower than `designWidth`, and no wider than the screen it opens on.
int sendLogWindowWidth(const QWidget* window, const FittedColumns& columns, int designWidth);

} // namespace norvi
