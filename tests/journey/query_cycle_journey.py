"""The send log's whole cycle of queries in the desktop program: messages sent earlier (one refused by the
gateway) are loaded; 工具 → 查詢 asks about all rows; 失敗重發 sends the refused one again; the log is saved
and loaded again; 查詢 of the selected row; a single MsgId queried in a box titled with it; and 取消預約 of
a reservation booked with norvi-cli."""

import datetime
import os
import re

import journey
from journey import JourneyError, wait_for

NUMBERS = ("0912000001", "0912000002", "0912000003")
BOOKED = "0912000009"


def check(condition, message):
    if not condition:
        raise JourneyError(message)


def msg_id(result):
    m = re.search(r"MsgId:([^)]+)\)", result)
    return m.group(1) if m else None


def load(j, path, clear=None):
    j.menu("檔案(F)", "載入紀錄(L)...")
    j.choose_file("載入紀錄", path)
    if clear is not None:
        j.answer("要清除現有的傳送紀錄？", clear)
    j.confirm_progress("發訊紀錄載入完成")


def open_dialog(j, query):
    j.menu("工具(T)", "查詢(Q)..." if query else "取消預約(C)...")
    return j.window("狀態查詢" if query else "取消預約", "dialog")


def checked(j, radio):
    return j._states(radio).contains(j.pyatspi.STATE_CHECKED)


def select_row(j, wanted):
    """Clicks the row for which wanted(cells) holds, which selects it alone."""
    rows = j.rows()
    matches = [i for i, r in enumerate(rows) if wanted(r)]
    check(len(matches) == 1, f"expected one row to select, found {matches} in {rows}")
    j.click_at(*j.row_point(matches[0]))
    return matches[0]


def clear_selection(j):
    """A left click on the empty part of the list below its rows leaves no row selected."""
    table = j.log_list().queryTable()
    last = table.getAccessibleAt(table.nRows - 1, 0).queryComponent().getExtents(j.pyatspi.DESKTOP_COORDS)
    j.click_at(last.x + last.width // 2, last.y + last.height + 10)


def query_cycle_journey(j):
    # The gateway refuses the first message (code 10 is not tried again) and delivers the others at once.
    j.start_gateway("--deliver-after", "0", "--fail-sends", "10:1")
    j.write_config()
    sent = os.path.join(j.dir, "sent.log")
    j.run_cli("send", "--text", "會議改到三點", *NUMBERS, "--log", sent, exit_codes=(2,))
    at = (datetime.datetime.now() + datetime.timedelta(days=1)).strftime("%Y%m%d%H%M")
    booked = os.path.join(j.dir, "booked.log")
    j.run_cli("send", "--text", "明天的提醒", BOOKED, "--at", at, "--log", booked)
    booked_id = msg_id(journey.read_log(booked)[0][4])
    j.start_program()

    load(j, sent)
    rows = j.wait_rows("the three sent rows", lambda rows: len(rows) == 3)
    refused = [r for r in rows if r[3] != "0"]
    check(len(refused) == 1 and refused[0][1] == NUMBERS[0], f"expected the first message refused: {rows}")

    # 工具 → 查詢: nothing is selected after the load, so all rows are asked about.
    dialog = open_dialog(j, True)
    everything = j.control(dialog, "radio button", "發訊紀錄列視框所有紀錄查詢")
    check(checked(j, everything), "the all-rows scope is not preselected without a selection")
    msg_edit = j.control(dialog, "text", "MsgId：")
    check(not j.enabled(msg_edit), "the MsgId edit is usable with the all-rows scope")
    j.press(dialog, "查詢")
    j.confirm_progress("簡訊查詢完成，查詢 3 筆：有回覆 2 筆（已送達 2 筆）、未能查詢 0 筆、略過 1 筆（未成功送出）")
    j.window_gone("狀態查詢")
    rows = j.wait_rows("the sent rows answered", lambda rows: all(r[5] == "0" for r in rows if r[3] == "0"))
    check(all(r[5] == "" for r in rows if r[3] != "0"), f"the refused row was asked about: {rows}")
    check(len(j.gateway_requests("query")) == 2, f"queries at the gateway: {j.gateway_requests('query')}")

    # 失敗重發 of the refused row, keeping the listed rows. The query selected the rows it asked about: with
    # none selected the resend looks at all rows.
    clear_selection(j)
    j.popup_below_rows("失敗重發(R)")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆")
    rows = j.wait_rows("the resent row", lambda rows: len(rows) == 4)
    resent = [r for r in rows if r[1] == NUMBERS[0] and r[3] == "0"]
    check(len(resent) == 1 and r"會議改到三點" == resent[0][7], f"the refused row was not resent: {rows}")
    resent_id = msg_id(resent[0][4])

    saved = os.path.join(j.log_dir, "cycle.log")
    j.menu("檔案(F)", "儲存紀錄(S)...")
    j.choose_file("儲存紀錄", saved)
    j.confirm_progress("發訊紀錄儲存完成")
    wait_for("the saved log", lambda: os.path.exists(saved) and len(journey.read_log(saved)) == 4)

    load(j, saved, clear="是")
    j.wait_rows("the reloaded rows", lambda rows: sorted(rows) == sorted(journey.read_log(saved)))

    # 查詢 of the selected row only: the dialog preselects that scope.
    select_row(j, lambda r: r[4].endswith(f"(MsgId:{resent_id})"))
    dialog = open_dialog(j, True)
    check(checked(j, j.control(dialog, "radio button", "發訊紀錄列視框所選紀錄查詢")),
          "the selected-rows scope is not preselected with a row selected")
    j.press(dialog, "查詢")
    j.confirm_progress("簡訊查詢完成，查詢 1 筆：有回覆 1 筆（已送達 1 筆）、未能查詢 0 筆")
    j.wait_rows("the selected row answered", lambda rows: any(r[4].endswith(f"(MsgId:{resent_id})") and r[5] == "0"
                                                              for r in rows))
    asked = [line.split(" ", 1)[0] for line in j.gateway_requests("query")]
    check(asked[2:] == [resent_id], f"the selected-rows query asked about {asked[2:]}, not only {resent_id}")

    # One MsgId typed in: the answer comes in a box titled with it, and the dialog closes.
    dialog = open_dialog(j, True)
    j.click(j.control(dialog, "radio button", "單筆查詢"))
    j.fill(j.control(dialog, "text", "MsgId："), resent_id)
    j.press(dialog, "查詢")
    box = j.window(resent_id, "alert")
    said = j.texts(box)
    check(any(t.startswith("結果碼：0") and "查詢結果：訊息已送達對方" in t for t in said),
          f"the box titled {resent_id} says {said}")
    j.screenshot("single-msgid-box")
    j.press(box, "確定")
    j.window_gone(resent_id)
    j.window_gone("狀態查詢")

    # 取消預約 of the reservation booked with norvi-cli, its row added to the list.
    load(j, booked, clear="否")
    select_row(j, lambda r: r[1] == BOOKED)
    dialog = open_dialog(j, False)
    check(checked(j, j.control(dialog, "radio button", "發訊紀錄列視框所選紀錄預約取消")),
          "the cancel dialog does not preselect the selected row")
    j.press(dialog, "確定")
    # Cancelling cannot be undone: the dialog asks first, naming the reservations it will try.
    j.answer("要取消 1 筆預約？", "是")
    j.confirm_progress("預約簡訊取消完成，取消 1 筆：已取消 1 筆、未能取消 0 筆")
    rows = j.wait_rows("the reservation cancelled", lambda rows: any(r[1] == BOOKED and r[5] == "0" for r in rows))
    row = next(r for r in rows if r[1] == BOOKED)
    check(row[6].startswith("取消成功"), f"the cancelled row says {row[6]!r}")
    cancels = j.gateway_requests("cancel")
    check(len(cancels) == 1 and cancels[0].startswith(f"{booked_id} -> 0"), f"cancels at the gateway: {cancels}")


if __name__ == "__main__":
    journey.run(query_cycle_journey)
