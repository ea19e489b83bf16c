"""Resends the failed rows from the send log's pop-up menu, keeping the listed rows (否 to
"要清除現有的傳送紀錄？"); only the failed message reaches the gateway and its new row joins the list."""

import journey
from journey import check, wait_for

ROWS = [
    dict(name="A", mobile="0912000001", time="20240301093000", code="-1", result="網路連線失敗", content="請回電"),
    dict(name="B", mobile="0912000002", time="20240301093000", code="0", result="訊息已成功送出(MsgId:B1)",
         content="請回電"),
]


def resend_journey(j):
    j.start_with_log("failed.log", ROWS)

    j.popup_below_rows("失敗重發(R)")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆")
    rows = j.wait_rows("the resent row next to the old ones", lambda rows: len(rows) == 3)
    resent = [r for r in rows if r[0] == "A" and r[3] == "0"]
    check(len(resent) == 1 and resent[0][4].startswith("訊息已成功送出(MsgId:"),
          f"the failed row was not resent: {rows}")
    check(resent[0][7] == "請回電", f"the resent row holds the text {resent[0][7]!r}")
    sends = j.gateway_requests("send")
    check(len(sends) == 1 and "to 0912000001 " in sends[0], f"the gateway got these sends: {sends}")
    check(j.status_text() == "3 筆發訊紀錄", f"the status bar says {j.status_text()!r}")


if __name__ == "__main__":
    journey.run(resend_journey)
