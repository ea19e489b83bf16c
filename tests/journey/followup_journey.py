"""Follows up a send run: 20 messages go out with 傳送後追蹤結果 checked against a gateway that delivers them
5 s after they are due, with follow-up minutes shortened to half a second. The status bar counts down to
0 未確定 without a question, every row reads delivered, and 傳送結果統計 shows 20 已送達 (100.0 %). A second
run's follow-up is still going when 結束 is chosen: the usual save question is the only one, and the
program ends."""

import journey
from journey import check, wait_for

NUMBERS = [f"09120000{i:02d}" for i in range(1, 21)]


def send_with_follow_up(j, numbers, keep_rows=False):
    j.menu("工具(T)", "發訊(S)...")
    dialog = j.window("發送訊息", "dialog")
    j.fill(j.control(dialog, "text", "受訊者"), "; ".join(numbers))
    j.fill(j.control(dialog, "text", "訊息內容"), "Results follow")
    box = j.control(dialog, "check box", match=lambda n: n.startswith("傳送後追蹤結果"))
    if not j._states(box).contains(j.pyatspi.STATE_CHECKED):
        j.click(box, what="傳送後追蹤結果")
    j.press(dialog, "傳送")
    j.confirm_summary()
    if keep_rows:
        j.answer("要清除現有的傳送紀錄？", "否")
    j.confirm_progress(f"簡訊傳送完成：成功 {len(numbers)} 筆，失敗 0 筆")
    j.window_gone("發送訊息")


def follow_up_text(j):
    bar = j.control(j.main_window(), "status bar")
    label = j.find(bar, "label", match=lambda n: n.startswith("追蹤"))
    return label.name if label is not None else ""


def followup_journey(j):
    j.start_gateway("--deliver-after", "5")
    j.write_config()
    j.env["NORVI_FOLLOWUP_MINUTE_MS"] = "500"
    j.start_program()

    send_with_follow_up(j, NUMBERS)
    seen = []

    def settled():
        text = follow_up_text(j)
        if text and (not seen or seen[-1] != text):
            seen.append(text)
        return text.startswith("追蹤結束")

    wait_for("the follow-up to settle every row", settled, timeout=60)
    check(any(t.startswith("追蹤中：20 筆未確定") for t in seen), f"the status bar never counted 20: {seen}")
    check(seen[-1] == "追蹤結束：0 筆未確定（全部確定）", f"the follow-up ended with {seen[-1]!r}")
    j.screenshot("settled")
    rows = j.rows()
    check(len(rows) == 20 and all(r[5] == "0" and r[6].startswith("訊息已送達對方") for r in rows),
          f"rows not delivered: {[r for r in rows if r[5] != '0']}")
    queries = j.gateway_requests("query")
    check(len(queries) >= 20, f"the gateway got {len(queries)} queries")

    j.menu("檢視(V)", "傳送結果統計(R)...")
    results = j.window("傳送結果統計", "dialog")
    table = j.control(results, "table", "傳送結果統計").queryTable()
    cells = [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]
    check(cells[0] == ["已送達", "20", "100.0 %"], f"the first class reads {cells[0]}")
    check(all(row[1] == "0" for row in cells[1:-1]) and cells[-1][:2] == ["總計", "20"], f"the table: {cells}")
    j.screenshot("results")
    j.press(results, "關閉")
    j.window_gone("傳送結果統計")

    # A second run is still being followed when the program ends: only the save question comes.
    send_with_follow_up(j, ["0912999999"], keep_rows=True)
    wait_for("the second follow-up to run", lambda: follow_up_text(j).startswith("追蹤中"))
    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    status = j.wait_program_end()
    check(status == 0, f"norvi-sms ended with status {status}")


if __name__ == "__main__":
    journey.run(followup_journey)
