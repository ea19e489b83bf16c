"""Ends the program with unsaved changes: Esc at the question about saving (取消) keeps the program open with
its rows; 結束 again answered 否 ends it and writes nothing."""

import os

import journey
from journey import check, wait_for

ROWS = [
    dict(name="A", mobile="0912000001", time="20240301093000", code="0", result="訊息已成功送出(MsgId:A1)",
         content="晚點到"),
    dict(name="B", mobile="0912000002", time="20240301093000", code="0", result="訊息已成功送出(MsgId:B1)",
         content="晚點到"),
]


def exit_journey(j):
    j.start_with_log("two.log", ROWS)
    # A row deleted changes the log (a row only selected would not).
    j.click_at(*j.row_point(1))
    j.menu("檔案(F)", "刪除(D)")
    j.wait_rows("one row left", lambda rows: len(rows) == 1)

    before = sorted(os.listdir(j.log_dir))
    j.menu("檔案(F)", "結束(X)")
    j.message_box("現有的傳送紀錄已變更，要儲存？")
    j.key("Escape")
    wait_for("the question about saving to close",
             lambda: j.program.poll() is not None or all(w.getRoleName() != "alert" for w in j.windows()))
    check(j.program.poll() is None, "the program ended although the question about saving was backed out of")
    j.main_window()
    check(len(j.rows()) == 1, f"the rows after backing out of the exit: {j.rows()}")

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    status = j.wait_program_end()
    check(status == 0, f"norvi-sms ended with status {status}")
    after = sorted(os.listdir(j.log_dir))
    check(not [f for f in after if f.endswith(".log") and f not in before], f"a log was saved anyway: {after}")


if __name__ == "__main__":
    journey.run(exit_journey)
