"""Backing out keeps everything: 結束 → 要儲存？ 是 → the save dialog cancelled keeps the program open with its
rows; 載入紀錄 → "要清除現有的傳送紀錄？" answered with Esc (取消) loads nothing and keeps the rows; 結束 → 否
then ends the process with status 0."""

import os

import journey
from journey import check, wait_for
from exit_journey import ROWS


def backing_out_journey(j):
    path = j.start_with_log("two.log", ROWS)
    # A row deleted changes the log (a row only selected would not).
    j.click_at(*j.row_point(1))
    j.menu("檔案(F)", "刪除(D)")
    j.wait_rows("one row left", lambda rows: len(rows) == 1)

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "是")
    j.window("儲存紀錄", "dialog")
    j.key("Escape")
    j.window_gone("儲存紀錄")
    check(j.program.poll() is None, "the program ended although the save was cancelled")
    j.main_window()
    check(len(j.rows()) == 1, f"the rows after the cancelled save: {j.rows()}")

    j.menu("檔案(F)", "載入紀錄(L)...")
    j.choose_file("載入紀錄", path)
    j.message_box("要清除現有的傳送紀錄？")
    j.screenshot("clear-prompt")
    j.key("Escape")
    wait_for("the clear prompt to close",
             lambda: all(not (w.getRoleName() == "alert") for w in j.windows()))
    check("作業進度" not in j.window_titles(), "a load started although the clear prompt was cancelled")
    check(len(j.rows()) == 1, f"the rows after the cancelled clear prompt: {j.rows()}")

    before = sorted(os.listdir(j.log_dir))
    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    status = j.wait_program_end()
    check(status == 0, f"norvi-sms ended with status {status}")
    check(sorted(os.listdir(j.log_dir)) == before, "something was saved after 否")


if __name__ == "__main__":
    journey.run(backing_out_journey)
