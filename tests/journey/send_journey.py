"""Sends a message from the desktop program: 工具 → 發訊, 傳送 with no recipient is refused, two numbers are
typed with real keys (one of them twice), a group of the address book is added with the member picker, a
message is written, 傳送 runs through the progress window to the gateway and into the send log; the next
opening brings the text back, and 原訊息發訊 on a row opens the dialog with that row's text."""

import os
import struct

import journey
from journey import check, wait_for

MESSAGE = "Meeting moved to 3pm, room 2"  # typed key by key; xdotool cannot type Chinese reliably


def write_book(path):
    """AddressBook.bin with the member Ann Lee (0933000003) and the group Team that holds her."""
    member = struct.pack("<i100s120s200s", 101, b"Ann Lee", b"0933000003", b"")
    group = struct.pack("<i100s1000i", -201, b"Team", 101, *([0] * 999))
    with open(path, "wb") as f:
        f.write(struct.pack("<ii", 1, 1) + member + group)


def click_row(j, table_acc, caption):
    table = table_acc.queryTable()
    names = [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]
    check(caption in names, f"no row {caption!r} in {table_acc.name!r}: {names}")
    j.click(table.getAccessibleAt(names.index(caption), 0), what=f"the row {caption!r}")


def open_send_dialog(j):
    j.menu("工具(T)", "發訊(S)...")
    return j.window("發送訊息", "dialog")


def send_journey(j):
    j.start_gateway()
    j.write_config()
    write_book(os.path.join(j.start_dir, "AddressBook.bin"))
    j.start_program()

    dialog = open_send_dialog(j)
    j.press(dialog, "傳送")
    j.answer("請選擇、上載或輸入受訊者！", "確定")

    recipients = j.control(dialog, "text", "受訊者")
    j.fill(recipients, "0912000001; 0912000002; 0912000001")
    j.press(dialog, "受訊者")
    picker = j.window("選擇受訊者", "dialog")
    click_row(j, j.control(picker, "tree", match=lambda n: n.startswith("從清單挑選")), "Team")
    j.press(picker, "選擇")
    j.press(picker, "確定")
    j.window_gone("選擇受訊者")
    wait_for("the group after the typed numbers",
             lambda: j.edit_text(recipients) == "0912000001; 0912000002; 0912000001; Team; ")
    memo = j.control(dialog, "text", "訊息內容")
    j.fill(memo, MESSAGE)
    count = j.control(dialog, "label", match=lambda n: n.startswith("總共需要"))
    check(count.name == "總共需要 1 通簡訊", f"the count label says {count.name!r}")
    j.screenshot("typed")
    j.press(dialog, "傳送")
    j.confirm_summary()
    j.confirm_progress("簡訊傳送完成：成功 3 筆，失敗 0 筆")
    j.window_gone("發送訊息")

    sends = j.gateway_requests("send")
    numbers = sorted(line.split(" ")[3] for line in sends)
    check(numbers == ["0912000001", "0912000002", "0933000003"], f"the gateway got these sends: {sends}")
    rows = j.wait_rows("the three sent rows", lambda rows: len(rows) == 3)
    for r in rows:
        check(r[3] == "0" and r[4].startswith("訊息已成功送出(MsgId:"), f"a row was not sent: {r}")
        check(r[7] == MESSAGE, f"a row holds the text {r[7]!r}")

    dialog = open_send_dialog(j)
    memo = j.control(dialog, "text", "訊息內容")
    wait_for("the last text to be back", lambda: j.edit_text(memo) == MESSAGE)
    recipients = j.control(dialog, "text", "受訊者")
    check(j.edit_text(recipients) == "", f"the recipient field holds {j.edit_text(recipients)!r}")
    j.press(dialog, "取消")
    j.window_gone("發送訊息")

    # A different text in the log: 原訊息發訊 brings the row's own text, not the last one.
    j.run_cli("send", "--text", "請回電", "0912000003", "--log", j.dir + "/other.log")
    j.menu("檔案(F)", "載入紀錄(L)...")
    j.choose_file("載入紀錄", j.dir + "/other.log")
    j.answer("要清除現有的傳送紀錄？", "是")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    j.confirm_progress("發訊紀錄載入完成")
    j.wait_rows("the loaded row", lambda rows: len(rows) == 1)
    x, y = j.row_point(0)
    j.click_at(x, y)
    j.popup("原訊息發訊(M)")
    dialog = j.window("發送訊息", "dialog")
    memo = j.control(dialog, "text", "訊息內容")
    wait_for("the row's text in the message field", lambda: j.edit_text(memo) == "請回電")
    j.press(dialog, "取消")
    j.window_gone("發送訊息")


if __name__ == "__main__":
    journey.run(send_journey)
