"""A log-out's SIGTERM while 失敗重發 asks "其中 1 筆可能已送出，也要重發？" over a log loaded from its file: nobody
answered, so nothing is sent, the list is not cleared and the program ends with status 0. The question does not
count as 是 on its way down (which cleared the saved list and sent the failed and the uncertain message)."""

import os
import signal

import journey
from journey import check, never, wait_for

ROWS = [
    dict(name="A", mobile="0912000001", time="20240301093000", code="-1", result="網路連線失敗", content="請回電"),
    dict(name="C", mobile="0912000003", time="20240301093000", code="-1", result="Recv()逾時，可能已送出",
         content="請回電"),
]


def signal_question_journey(j):
    path = j.start_with_log("failed.log", ROWS)
    j.popup_below_rows("失敗重發(R)")
    j.message_box("其中 1 筆可能已送出，也要重發？")
    j.screenshot("asked")
    os.kill(j.program.pid, signal.SIGTERM)
    status = j.wait_program_end(timeout=10)
    check(status == 0, f"norvi-sms ended with status {status} on SIGTERM")
    never("a send at the gateway", lambda: j.gateway_requests("send") or j.gateway_requests("login"), within=1)
    check(len(journey.read_log(path)) == 2, "the loaded log changed")
    left = [n for n in os.listdir(j.start_dir) if n.startswith("norvi-journal-")]
    check(left == [], f"a journal was left for rows nobody sent: {left}")


if __name__ == "__main__":
    journey.run(signal_question_journey)
