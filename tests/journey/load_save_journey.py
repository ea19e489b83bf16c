"""Loads a send log, confirms the progress window with its own button, saves the rows under a new name
(the file dialog answered by typing the path) and loads that file again into the list."""

import os

import journey
from journey import check, wait_for

ROWS = [
    dict(name="王小明", mobile="0912000001", time="20240301093000", code="0", result="訊息已成功送出(MsgId:A1)",
         content="會議改到三點"),
    dict(name="Chen", mobile="0912000002", time="20240301093005", code="-1", result="網路連線失敗",
         content="會議改到三點"),
    dict(name="李四", mobile="0912000003", time="20240301093010", code="0", result="訊息已成功送出(MsgId:A3)",
         qcode="0", qresult="訊息已送達對方", content="明天見"),
]


def expected_cells():
    keys = ("name", "mobile", "time", "code", "result", "qcode", "qresult", "content")
    return sorted(tuple(r.get(k, "") for k in keys) for r in ROWS)


def load(j, path):
    j.menu("檔案(F)", "載入紀錄(L)...")
    j.choose_file("載入紀錄", path)


def load_save_journey(j):
    j.start_gateway()
    j.write_config()
    source = os.path.join(j.dir, "source.log")
    journey.write_log(source, ROWS)
    j.start_program()

    load(j, source)
    j.confirm_progress("發訊紀錄載入完成")
    rows = j.wait_rows("the three loaded rows", lambda rows: sorted(rows) == expected_cells())
    check(rows[0][0] == "Chen", f"the list is not sorted by name: {[r[0] for r in rows]}")
    check(j.status_text() == "3 筆發訊紀錄", f"the status bar says {j.status_text()!r}")

    saved = os.path.join(j.log_dir, "saved-by-hand.log")
    j.menu("檔案(F)", "儲存紀錄(S)...")
    j.choose_file("儲存紀錄", saved)
    j.confirm_progress("發訊紀錄儲存完成")
    wait_for("the saved file", lambda: os.path.exists(saved))
    check(journey.read_log(saved) == [tuple(r) for r in rows],
          f"the saved file holds {journey.read_log(saved)}, the list showed {rows}")

    load(j, saved)
    j.answer("要清除現有的傳送紀錄？", "是")
    j.confirm_progress("發訊紀錄載入完成")
    reloaded = j.wait_rows("the reloaded rows", lambda rows: len(rows) == 3)
    check(reloaded == rows, f"reloading shows {reloaded}, before saving the list showed {rows}")
    check(j.status_text() == "3 筆發訊紀錄", f"the status bar says {j.status_text()!r}")
    check(j.gateway_requests("login") == [], "loading and saving talked to the gateway")


if __name__ == "__main__":
    journey.run(load_save_journey)
