"""After a send: four messages go out with 傳送後追蹤結果 against a gateway that never delivers two of them. The
follow-up finds both failed; 檔案 > 匯出未送達名單 writes exactly those two to a workbook (read back here);
重發未送達 from the pop-up menu sends each of them once and the delivered ones not at all, and a second 重發未送達
from the 工具 menu has nothing left to send. 使用量統計 then shows the month: a bar a day, the day's counts in its
table (the unsaved list's six rows and a log of the 1st in the log folder), and the log it could not read."""

import datetime
import os

import openpyxl

import journey
from followup_journey import follow_up_text, send_with_follow_up
from journey import check, wait_for, write_log

NUMBERS = ["0912000001", "0912000002", "0912000003", "0912000004"]
UNDELIVERED = ["0912000002", "0912000003"]


def undelivered_journey(j):
    j.start_gateway("--deliver-after", "1", "--fail-delivery", ",".join(UNDELIVERED))
    j.write_config()
    os.makedirs(j.log_dir, exist_ok=True)
    first = datetime.date.today().replace(day=1).strftime("%Y%m%d")
    write_log(os.path.join(j.log_dir, "earlier.log"),
              [dict(mobile="0912000009", time=first + "080000", code="0", result="訊息已成功送出(MsgId:E1)",
                    qcode="0", qresult="訊息已送達對方(d)", content="earlier"),
               dict(mobile="0912000008", time=first + "080001", code="11", result="系統暫時無法傳送訊息(x)",
                    content="earlier")])
    with open(os.path.join(j.log_dir, "broken.log"), "wb") as f:
        f.write(b"no log")
    j.env["NORVI_FOLLOWUP_MINUTE_MS"] = "500"
    j.start_program()

    send_with_follow_up(j, NUMBERS)
    wait_for("the follow-up to settle every row", lambda: follow_up_text(j).startswith("追蹤結束"), timeout=60)
    rows = j.rows()
    check(sorted(r[1] for r in rows if r[5] == "17") == UNDELIVERED, f"the failed deliveries: {rows}")

    # 匯出未送達名單: 失敗 alone, as the dialog starts.
    j.menu("檔案(F)", "匯出未送達名單(U)...")
    dialog = j.window("匯出未送達名單", "dialog")
    j.screenshot("undelivered-dialog")
    j.press(dialog, "匯出")
    target = os.path.join(j.dir, "undelivered.xlsx")
    j.choose_file("儲存未送達名單", target)
    j.answer(f"已匯出 2 則訊息到 {target}", "確定")
    j.window_gone("匯出未送達名單")
    # Text cells: a number keeps its leading 0 in a spreadsheet.
    sheet = openpyxl.load_workbook(target, read_only=True).worksheets[0]
    lines = [["" if cell is None else cell for cell in row] for row in sheet.iter_rows(values_only=True)]
    check(lines[0] == ["名稱", "行動電話", "訊息內容", "類別", "原因", "傳送時間", "MsgId"], f"the header: {lines[0]}")
    check(sorted(line[1] for line in lines[1:]) == UNDELIVERED, f"the list: {lines}")
    check(all(line[3] == "失敗" and line[4].startswith("訊息無法送達對方") and line[6] for line in lines[1:]),
          f"the list's class, reason and MsgId: {lines}")

    # 重發未送達: the two undelivered ones once each, the delivered ones not at all.
    sends_before = len(j.gateway_requests("send"))
    j.popup_below_rows("重發未送達(U)")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 2 筆，失敗 0 筆")
    j.wait_rows("the two resent rows", lambda rows: len(rows) == 6)
    resent = j.gateway_requests("send")[sends_before:]
    check(len(resent) == 2 and all(sum(f"to {n} " in s for s in resent) == 1 for n in UNDELIVERED),
          f"the resend sent {resent}")
    j.menu("工具(T)", "重發未送達(U)")
    j.answer("沒有確定未送達的訊息需要重新傳送！\n略過 2 筆：已重發過 2 筆", "確定")
    check(len(j.gateway_requests("send")) == sends_before + 2, "a second 重發未送達 sent again")

    # 使用量統計: this month, from the log folder and the unsaved list.
    j.menu("檢視(V)", "使用量統計(U)...")
    usage = j.window("使用量統計", "dialog")
    table = j.control(usage, "table", "每日使用量").queryTable()
    cells = [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]
    today = datetime.date.today()
    day_row = cells[today.day - 1]
    first_row = cells[0]
    expected_today = 6 + (2 if today.day == 1 else 0)
    check(day_row[0] == today.strftime("%Y/%m/%d") and day_row[1] == str(expected_today),
          f"today's line reads {day_row}")
    check(first_row[1] == str(2 + (6 if today.day == 1 else 0)), f"the 1st reads {first_row}")
    check(cells[-1][0] == "合計" and cells[-1][1] == "8" and cells[-1][2] == "7", f"the total reads {cells[-1]}")
    unreadable = j.edit_text(j.control(usage, "text", "無法完整讀取的紀錄檔(L)：")).splitlines()
    check(len(unreadable) == 1 and "broken.log" in unreadable[0], f"the unreadable logs listed: {unreadable}")
    j.screenshot("usage")
    j.press(usage, "關閉")
    j.window_gone("使用量統計")

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")


if __name__ == "__main__":
    journey.run(undelivered_journey)
