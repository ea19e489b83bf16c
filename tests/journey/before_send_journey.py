"""Before the send, in the real program: a group holding a nested group, an overlapping member and a stopped
number, with the member typed again in its +886 form. The summary box counts them over the accessibility bus;
取消 sends nothing, 傳送 sends each person once. 工具 → 拒收名單 adds a number from the keyboard and removes it;
the address book's pop-up adds a member. At a faked 23:30 with 夜間不傳送 turned on in 設定, a 替代簡訊 template
whose recipient has no value: the summary says it is night (its default books the run for 08:00) and names the
recipient with the missing field (its default sends the field empty). Screenshots: before_send-summary, before_send-optout,
before_send-night."""

import datetime
import os
import struct

import journey
from adrbk_journey import click_row as book_row
from journey import check, wait_for
from send_journey import click_row, open_send_dialog

MESSAGE = "Parents meeting at 7pm"
TEMPLATE = "Dear $1$, meeting at 7pm"


def write_book(path):
    """Ann, Bob and Cat; 班級 holds Ann and Bob; 家長 holds 班級, Cat and Ann again."""
    members = [struct.pack("<i100s120s200s", 101 + i, name, number, b"")
               for i, (name, number) in enumerate([(b"Ann", b"0933000003"), (b"Bob", b"0933000004"),
                                                   (b"Cat", b"0933-000-005")])]
    groups = [struct.pack("<i100s1000i", -202, "家長".encode("cp950"), -201, 103, 101, *([0] * 997)),
              struct.pack("<i100s1000i", -201, "班級".encode("cp950"), 101, 102, *([0] * 998))]
    with open(path, "wb") as f:
        f.write(struct.pack("<ii", 3, 2) + b"".join(members) + b"".join(groups))


def read_stop_list(j):
    with open(os.path.join(j.start_dir, "OptOut.txt"), "rb") as f:
        return [line.split(b",")[0].decode() for line in f.read().split(b"\r\n") if line]


def summary_box(j):
    box = j.window("傳送前確認", "dialog")
    wait_for("the summary's count", lambda: any(t.startswith("收訊人") for t in j.texts(box)))
    return box


def send_to_parents(j):
    dialog = open_send_dialog(j)
    j.press(dialog, "受訊者")
    picker = j.window("選擇受訊者", "dialog")
    click_row(j, j.control(picker, "tree", match=lambda n: n.startswith("從清單挑選")), "家長")
    j.press(picker, "選擇")
    j.press(picker, "確定")
    j.window_gone("選擇受訊者")
    recipients = j.control(dialog, "text", "受訊者")
    j.click(recipients)
    j.key("End")
    j.type_text("+886 933 000 003")
    j.fill(j.control(dialog, "text", "訊息內容"), MESSAGE)
    return dialog


def summary_and_cancel(j):
    dialog = send_to_parents(j)
    j.press(dialog, "傳送")
    box = summary_box(j)
    lines = j.texts(box)
    j.screenshot("summary")
    check("收訊人 2 位、共 2 通簡訊" in lines, f"the summary says {lines}")
    check("略過：重複 2、拒收 1、號碼不符 0" in lines, f"the summary says {lines}")
    # 取消 from the keyboard: Esc.
    j.key("Escape")
    j.window_gone("傳送前確認")
    check(not j.gateway_requests("send"), "取消 sent nothing")
    j.press(dialog, "傳送")
    summary_box(j)
    j.key("Return")  # 傳送 is the default button
    j.window_gone("傳送前確認")
    j.confirm_progress("簡訊傳送完成：成功 2 筆，失敗 0 筆")
    j.window_gone("發送訊息")
    sent = sorted(line.split(" ")[3] for line in j.gateway_requests("send"))
    check(sent == ["0933000003", "0933000004"], f"the gateway got these sends: {sent}")


def stop_list_window(j):
    j.menu("工具(T)", "拒收名單(R)...")
    window = j.window("拒收名單", "dialog")
    rows = j.control(window, ("tree", "table", "list"), "拒收的號碼")
    wait_for("the listed number", lambda: rows.queryTable().nRows == 1)
    # The number edit has the keyboard: typed, Tab to the note, Return adds.
    j.type_text("0912-345-678")
    j.key("Tab")
    j.type_text("test")
    j.key("Return")
    wait_for("the added number", lambda: rows.queryTable().nRows == 2)
    check(read_stop_list(j) == ["0933000005", "0912345678"], f"OptOut.txt holds {read_stop_list(j)}")
    j.screenshot("optout")
    click_row(j, rows, "0912345678")
    j.key("Delete")
    j.answer("要將 0912345678 從拒收名單移除？之後的傳送會再傳給這個號碼。", "是")
    wait_for("the number to go", lambda: rows.queryTable().nRows == 1)
    check(read_stop_list(j) == ["0933000005"], f"OptOut.txt holds {read_stop_list(j)}")
    j.key("Escape")
    j.window_gone("拒收名單")


def book_popup(j):
    j.click(j.control(j.main_window(), "push button", "通訊錄"))
    book = j.window("通訊錄", "dialog")
    table = j.control(book, ("tree", "table", "list"), "連絡人")
    book_row(j, table, "Bob")
    names = [table.queryTable().getAccessibleAt(r, 0).name for r in range(table.queryTable().nRows)]
    x, y = j.centre(table.queryTable().getAccessibleAt(names.index("Bob"), 0))
    j.context_menu(x, y, "加入拒收名單(O)...")
    j.answer("要將 Bob（0933000004）加入拒收名單？之後的傳送都不會傳給這個號碼。", "是")
    j.answer("已加入拒收名單 1 個門號，已在名單中 0 個。", "確定")
    check(read_stop_list(j) == ["0933000005", "0933000004"], f"OptOut.txt holds {read_stop_list(j)}")
    j.key("Escape")
    j.window_gone("通訊錄")


def night_send(j, tomorrow):
    # 夜間不傳送 is turned on where a user turns it on.
    j.menu("工具(T)", "設定(O)...")
    settings = j.window("參數設定", "dialog")
    j.click(j.control(settings, "page tab", "傳送時段"))
    quiet = j.control(settings, "check box", "夜間不傳送(N)")
    j.click(quiet)
    wait_for("夜間不傳送 to be ticked", lambda: j._states(quiet).contains(j.pyatspi.STATE_CHECKED))
    j.press(settings, "確定")
    j.window_gone("參數設定")

    # A 替代簡訊 template whose typed recipient has no value for $1$: a line of the same summary.
    dialog = open_send_dialog(j)
    j.fill(j.control(dialog, "text", "受訊者"), "0911000001")
    j.fill(j.control(dialog, "text", "訊息內容"), TEMPLATE)
    j.click(j.control(dialog, "radio button", "替代簡訊"))
    j.press(dialog, "傳送")
    box = summary_box(j)
    lines = j.texts(box)
    check("現在是夜間（21:00–08:00）" in lines, f"the summary says {lines}")
    choice = j.control(box, "radio button", "改為 08:00 預約傳送")
    check(j._states(choice).contains(j.pyatspi.STATE_CHECKED), "booking for 08:00 is the default")
    check("以下 1 位受訊者的訊息缺少替代欄位的值：0911000001 缺 $1$" in lines, f"the summary says {lines}")
    empty = j.control(box, "radio button", "欄位留空照常傳送")
    check(j._states(empty).contains(j.pyatspi.STATE_CHECKED), "sending with the field empty is the default")
    j.screenshot("night")
    j.press(box, "傳送")
    j.window_gone("傳送前確認")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆")
    booked = [line for line in j.gateway_requests("send") if " 0911000001 " in line]
    check(len(booked) == 1 and " mode 03 " in booked[0], f"the gateway got {booked}")
    rows = j.wait_rows("the booked row", lambda rows: any(r[1] == "0911000001" for r in rows))
    row = next(r for r in rows if r[1] == "0911000001")
    check(row[2] == tomorrow + "080000", f"the booked row is {row}")
    check(TEMPLATE.replace("$1$", "") in row, f"the field went empty, never as $1$: {row}")


def before_send_journey(j):
    j.start_gateway()
    j.write_config()  # quiet hours off until 設定 turns them on
    write_book(os.path.join(j.start_dir, "AddressBook.bin"))
    j.run_cli("optout", "add", "0933-000-005", "--note", "家長來電")
    today = datetime.date.today()
    j.start_program(now=f"{today.isoformat()}T23:30:00")

    summary_and_cancel(j)
    stop_list_window(j)
    book_popup(j)
    night_send(j, (today + datetime.timedelta(days=1)).strftime("%Y%m%d"))


if __name__ == "__main__":
    journey.run(before_send_journey)
