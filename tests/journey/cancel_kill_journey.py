"""A list cancellation killed in the middle keeps the answers it got: five reservations booked with norvi-cli are
loaded and cancelled from the send log's pop-up menu against a gateway that answers slowly, and norvi-sms is
killed with SIGKILL once the list shows two cancelled. The next start offers the answered rows back, as many as
it says: each the list showed cancelled comes back saying "取消成功", as does every other the gateway cancelled
but at most the one whose answer was on its way, and none comes back twice or pending."""

import datetime
import os
import re
import shutil
import signal

import journey
from journey import check, wait_for

NUMBERS = [f"09130000{i:02d}" for i in range(5)]


def cancelled(j):
    """MsgIds the gateway cancelled, as it printed them."""
    return {m.group(1) for line in j.gateway_requests("cancel") for m in [re.match(r"(\S+) -> 0\b", line)] if m}


def msg_id(text):
    m = re.search(r"MsgId:([^)]+)\)", text)
    return m.group(1) if m else None


def cancel_kill_journey(j):
    j.start_gateway("--reply-delay", "700")
    j.write_config()
    at = (datetime.datetime.now() + datetime.timedelta(days=1)).strftime("%Y%m%d%H%M")
    booked = os.path.join(j.dir, "booked.log")
    j.run_cli("send", "--text", "明天的提醒", *NUMBERS, "--at", at, "--log", booked)
    check(len(journey.read_log(booked)) == 5, f"norvi-cli did not book five messages: {journey.read_log(booked)}")
    j.start_program()
    j.load_log(booked, 5)

    j.popup_below_rows("取消預約(C)")
    j.answer("要取消 5 筆預約？", "是")
    shown = j.wait_rows("two rows showing the cancel", lambda rows: sum(r[6].startswith("取消成功") for r in rows) >= 2)
    shown = {msg_id(r[4]) for r in shown if r[6].startswith("取消成功")}
    os.kill(j.program.pid, signal.SIGKILL)
    j.program.wait(timeout=10)
    wait_for("the gateway to see the client go", lambda: j.gateway_connections_open() == 0)
    gone = cancelled(j)
    if j.artifacts:
        shutil.copytree(j.dir, os.path.join(j.artifacts, "cancel_kill-killed"), dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns("runtime"))

    j.start_program()
    box = j.unsaved_rows_offer()
    said = " ".join(j.texts(box))
    j.screenshot("offer")
    j.press(box, "是")
    rows = j.wait_rows("the answered rows", lambda rows: len(rows) >= len(gone) - 1)
    j.screenshot("taken")
    check(f"（{len(rows)} 筆）" in said, f"the offer says {said!r}, the rows taken are {len(rows)}")
    back = {msg_id(r[4]): r for r in rows}
    check(len(back) == len(rows), f"a message came back twice: {rows}")
    check(shown <= set(back), f"rows shown cancelled before SIGKILL did not come back: {shown} {rows}")
    check(len(gone - set(back)) <= 1, f"reservations the gateway cancelled with no row after SIGKILL: {gone} {rows}")
    for r in rows:
        check(msg_id(r[4]) in gone and r[5] == "0" and r[6].startswith("取消成功"),
              f"a row taken back does not say what the gateway answered: {r}")

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")
    if j.artifacts:
        # What the gateway said and the folder as the program left it, for a count by hand.
        with open(os.path.join(j.artifacts, "cancel_kill-gw.out"), "w", encoding="utf-8") as out:
            out.write("\n".join(j._gateway_lines) + "\n")
        shutil.copytree(j.dir, os.path.join(j.artifacts, "cancel_kill-end"), dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns("runtime"))


if __name__ == "__main__":
    journey.run(cancel_kill_journey)
