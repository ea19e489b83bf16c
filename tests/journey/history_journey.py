"""失敗重發 over a log whose first resend failed again sends the message once, and a third sends nothing,
saying what it left out. A log whose norvi-cli resend was killed is offered, when it is loaded, to be
finished first; finished, the resent row speaks for the message and nothing is left to resend."""

import os
import struct

import journey
from journey import check, write_log

FAILED = dict(name="A", mobile="0912000001", time="20240301093000", code="-1", result="網路連線失敗",
              content="請回電")
RESENT = dict(FAILED, code="0", result="訊息已成功送出(MsgId:NV1)")


def history_journey(j):
    j.start_gateway("--fail-sends", "10:1")  # the first resend is refused
    j.write_config()
    first = os.path.join(j.dir, "failed.log")
    write_log(first, [FAILED])
    j.start_program()
    j.load_log(first, 1)

    j.popup_below_rows("失敗重發(R)")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送失敗：成功 0 筆，失敗 1 筆")
    j.wait_rows("the resend that failed again", lambda rows: len(rows) == 2)

    j.popup_below_rows("失敗重發(R)")
    j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆；略過 1 筆：已重發過 1 筆")
    j.wait_rows("the message sent at last", lambda rows: sum(1 for r in rows if r[3] == "0") == 1)
    sends = j.gateway_requests("send")
    check(len(sends) == 2 and all("to 0912000001 " in s for s in sends), f"the gateway got these sends: {sends}")

    # The row the last resend took is still selected: its message alone is examined, and was sent.
    j.popup_below_rows("失敗重發(R)")
    nothing = "沒有確定失敗的訊息需要重新傳送！\n略過 1 筆：已重發過 1 筆"
    j.message_box(nothing)
    j.screenshot("nothing-left-to-resend")
    j.answer(nothing, "確定")
    check(len(j.gateway_requests("send")) == 2, "a third resend sent the message again")

    # What a norvi-cli resend killed with SIGKILL leaves: the log, and beside it its unfinished copy with
    # the row the resend added.
    log = os.path.join(j.dir, "r.log")
    partial = log + ".Ab12Cd.partial"
    write_log(log, [FAILED])
    write_log(partial, [FAILED, RESENT])
    with open(partial, "r+b") as f:
        f.write(struct.pack("<i", -1))
    j.menu("檔案(F)", "載入紀錄(L)...")
    j.choose_file("載入紀錄", log)
    question = (f"{log} 有上次中斷的作業留下的未完成紀錄：\n{partial}（2 筆完整紀錄）\n"
                f"要先把它完成再載入？（請以 norvi-cli finish {partial} 把它完成為 {log}。）")
    j.message_box(question)
    j.screenshot("finish-first")
    j.answer(question, "是")
    j.answer("要清除現有的傳送紀錄？", "是")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    j.confirm_progress("發訊紀錄載入完成")
    j.wait_rows("the finished log's two rows", lambda rows: len(rows) == 2)
    check(not os.path.exists(partial), "the unfinished copy is still there")
    check(len(journey.read_log(log)) == 2, "the log was not finished in place")

    j.popup_below_rows("失敗重發(R)")
    j.answer("沒有確定失敗的訊息需要重新傳送！\n略過 1 筆：已重發過 1 筆", "確定")
    check(len(j.gateway_requests("send")) == 2, "the resent message was sent again")


if __name__ == "__main__":
    journey.run(history_journey)
