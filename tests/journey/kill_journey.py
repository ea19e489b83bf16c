"""A run killed in the middle loses no accepted message: 20 numbers sent from 工具 → 發訊 against a gateway
that answers slowly, norvi-sms killed with SIGKILL after a few messages; the next start offers the rows it
left ("上次未儲存的發訊紀錄…要載入？") and they hold every MsgId the gateway issued, but at most the one in
flight, and a row for every recipient the run never reached: the one in flight "可能已送出", the others
"未傳送：程式中斷". A log-out's SIGTERM then ends the program within seconds with status 0, and the rows are
offered again at the next start."""

import os
import re
import signal
import time

import journey
from journey import check, wait_for

NUMBERS = [f"09120000{i:02d}" for i in range(20)]


def issued(j):
    """MsgIds the gateway issued for sends, as it printed them."""
    ids = []
    for line in j.gateway_requests("send"):
        m = re.search(r"-> 0 (\S+)$", line)
        if m:
            ids.append(m.group(1))
    return ids


def row_ids(rows):
    return {m.group(1) for r in rows for m in [re.search(r"MsgId:([^)]+)\)", r[4])] if m}


def restart_and_take_rows(j, expected_count=None, unreached=None):
    j.start_program()
    box = j.unsaved_rows_offer()
    said = " ".join(j.texts(box))
    if expected_count is not None:
        check(f"（{expected_count} 筆）" in said, f"the offer says {said!r}, expected {expected_count} rows")
    if unreached is not None:
        check("會為它們補上紀錄" in said, f"the offer says {said!r}, not that the unreached get rows")
    j.screenshot("offer-unreached" if unreached else "offer")
    j.press(box, "是")
    return j.wait_rows("the rows left behind", lambda rows: len(rows) >= (unreached or 1))


def kill_journey(j):
    j.start_gateway("--split-replies", "--reply-pause", "150")
    j.write_config()
    j.start_program()
    j.menu("工具(T)", "發訊(S)...")
    dialog = j.window("發送訊息", "dialog")
    j.fill(j.control(dialog, "text", "受訊者"), "; ".join(NUMBERS))
    j.fill(j.control(dialog, "text", "訊息內容"), "Kill test")
    j.press(dialog, "傳送")
    j.confirm_summary()
    wait_for("a few accepted messages", lambda: len(issued(j)) >= 4)
    os.kill(j.program.pid, signal.SIGKILL)
    j.program.wait(timeout=10)
    # The gateway prints the reply it was writing when the client went, then the connection's end.
    wait_for("the gateway to see the client go", lambda: j.gateway_connections_open() == 0)
    accepted = set(issued(j))

    rows = restart_and_take_rows(j, unreached=len(NUMBERS))
    missing = accepted - row_ids(rows)
    check(len(missing) <= 1, f"accepted MsgIds with no row after SIGKILL: {missing} (rows {rows})")
    check(sorted(r[1] for r in rows) == NUMBERS, f"not every recipient has one row after SIGKILL: {rows}")
    left = [r[4] for r in rows if "MsgId:" not in r[4]]
    in_flight = left.count("程式在閘道回覆前結束，可能已送出")
    check(in_flight <= 1 and left.count("未傳送：程式中斷") == len(left) - in_flight,
          f"the rows of the recipients the killed run never reached: {left}")
    kept = len(rows)

    start = time.monotonic()
    os.kill(j.program.pid, signal.SIGTERM)
    status = j.wait_program_end(timeout=10)
    check(status == 0, f"norvi-sms ended with status {status} on SIGTERM")
    check(time.monotonic() - start < 5, "SIGTERM took more than 5 s to end the program")

    rows = restart_and_take_rows(j, kept)
    check(row_ids(rows) >= accepted - missing, f"rows lost between the two starts: {rows}")
    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")


if __name__ == "__main__":
    journey.run(kill_journey)
