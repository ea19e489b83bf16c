"""A list file with each recipient's values is loaded with 上載..., sent as 替代簡訊 (the values fill the
message's $1$ and $2$) and booked for tomorrow at a full hour through the reservation drop-downs: the
gateway gets reservations at that time and the send log holds each recipient's own text."""

import os
import re

import journey
from journey import check, wait_for

LIST = "0922000001 $王小明$$1200$\r\n0922000002,$李大同$$800$\r\n"
TEMPLATE = "Dear $1$, your bill is $2$ dollars."


def labelled(j, root, caption):
    """The control a label names. (A drop-down's accessible name is the item it shows; its label is a
    relation, as screen readers on this desktop expect.)"""
    label = j.control(root, "label", caption)

    def target():
        for relation in label.getRelationSet():
            if relation.getRelationType() == j.pyatspi.RELATION_LABEL_FOR and relation.getNTargets() > 0:
                return relation.getTarget(0)
        return None
    return wait_for(f"the control labelled {caption!r}", target)


def choose(j, dialog, caption, key):
    """Opens a drop-down with the pointer and picks an item with the keyboard."""
    combo = labelled(j, dialog, caption)
    j.click(combo)
    j.key(key)
    j.key("Return")
    return combo


def upload_list(j, path):
    """The send dialog from the menu, the list file at `path` loaded through 上載 (its two numbers shown in
    受訊者) and TEMPLATE typed as a 替代簡訊. Returns the dialog."""
    j.menu("工具(T)", "發訊(S)...")
    dialog = j.window("發送訊息", "dialog")
    j.press(dialog, "上載")
    j.choose_file("載入發訊名單", path)
    j.confirm_progress("發訊名單載入完成")
    recipients = j.control(dialog, "text", "受訊者")
    wait_for("the list's numbers in the field", lambda: j.edit_text(recipients) == "0922000001; 0922000002; ")
    j.click(j.control(dialog, "radio button", "替代簡訊"))
    j.fill(j.control(dialog, "text", "訊息內容"), TEMPLATE)
    return dialog


def send_list_journey(j):
    j.start_gateway()
    j.write_config()
    path = os.path.join(j.dir, "bill.txt")
    with open(path, "wb") as f:
        f.write(journey.big5(LIST))
    j.start_program()

    dialog = upload_list(j, path)
    j.click(j.control(dialog, "radio button", "預約傳送"))
    hour = labelled(j, dialog, "時")
    wait_for("the reservation drop-downs to be enabled", lambda: j.enabled(hour))
    choose(j, dialog, "時", "Down")
    choose(j, dialog, "分", "Home")
    j.screenshot("reservation")
    j.press(dialog, "傳送")
    j.confirm_summary()
    j.confirm_progress("簡訊傳送完成：成功 2 筆，失敗 0 筆")
    j.window_gone("發送訊息")

    sends = j.gateway_requests("send")
    check(len(sends) == 2, f"the gateway got these sends: {sends}")
    schedules = set()
    for line in sends:
        m = re.match(r"type 1 to (\d+) mode 03 (\d{12}) len", line)
        check(m is not None, f"not a reservation: {line}")
        schedules.add(m.group(2))
    check(len(schedules) == 1, f"the messages went for different times: {sends}")
    schedule = schedules.pop()
    check(schedule.endswith("0000"), f"the reservation is not at a full hour: {schedule}")

    rows = j.wait_rows("the two booked rows", lambda rows: len(rows) == 2)
    texts = sorted(r[7] for r in rows)
    check(texts == ["Dear 李大同, your bill is 800 dollars.", "Dear 王小明, your bill is 1200 dollars."],
          f"the rows hold {texts}")
    for r in rows:
        check(r[2] == "20" + schedule, f"row {r[1]} shows the send time {r[2]!r}, not the reservation")


if __name__ == "__main__":
    journey.run(send_list_journey)
