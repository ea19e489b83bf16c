"""Resends the failed rows from the send log's pop-up menu, keeping the listed rows (否 to
"要清除現有的傳送紀錄？"); only the failed message reaches the gateway and its new row joins the list. A row
that may have gone (its request got no answer) is asked about and left alone on 否; a second resend
sends nothing already resent, and 是 sends the uncertain one once."""

import journey
from journey import check, wait_for

ROWS = [
    dict(name="A", mobile="0912000001", time="20240301093000", code="-1", result="網路連線失敗", content="請回電"),
    dict(name="B", mobile="0912000002", time="20240301093000", code="0", result="訊息已成功送出(MsgId:B1)",
         content="請回電"),
    dict(name="C", mobile="0912000003", time="20240301093000", code="-1", result="Recv()逾時，可能已送出",
         content="請回電"),
]


def resend_journey(j):
    j.start_with_log("failed.log", ROWS)

    j.popup_below_rows("失敗重發(R)")
    j.screenshot("uncertain-question")
    j.answer("其中 1 筆可能已送出，也要重發？", "否")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆；略過 1 筆：可能已送出 1 筆")
    rows = j.wait_rows("the resent row next to the old ones", lambda rows: len(rows) == 4)
    resent = [r for r in rows if r[0] == "A" and r[3] == "0"]
    check(len(resent) == 1 and resent[0][4].startswith("訊息已成功送出(MsgId:"),
          f"the failed row was not resent: {rows}")
    check(resent[0][7] == "請回電", f"the resent row holds the text {resent[0][7]!r}")
    sends = j.gateway_requests("send")
    check(len(sends) == 1 and "to 0912000001 " in sends[0], f"the gateway got these sends: {sends}")
    check(j.status_text() == "4 筆發訊紀錄", f"the status bar says {j.status_text()!r}")

    # Again, from C's own row (sorted by name it is the fourth): it may have gone, and goes on 是.
    j.popup("失敗重發(R)", row=3)
    j.answer("其中 1 筆可能已送出，也要重發？", "是")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆")
    j.wait_rows("the uncertain row resent", lambda rows: len(rows) == 5)
    sends = j.gateway_requests("send")
    check(len(sends) == 2 and "to 0912000003 " in sends[1], f"the gateway got these sends: {sends}")


if __name__ == "__main__":
    journey.run(resend_journey)
