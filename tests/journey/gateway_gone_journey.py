"""A gateway that is gone: ten numbers sent from 工具 → 發訊 to a port where nothing listens. After three
failures the run asks whether to go on. A log-out's SIGTERM while that box is open closes it and ends the
program within seconds with status 0; the next start offers every recipient's row (three failed, seven not
sent). A second run answers 是, is asked again after six, answers 否: the progress window says how it ended,
its 確定 leaves the main window usable, and 結束 ends the process. Nothing reaches a gateway, so no row holds
a MsgId."""

import os
import signal
import socket
import time

import journey
from journey import check, wait_for

NUMBERS = [f"09120000{i:02d}" for i in range(10)]


def question(failures):
    return f"閘道連續 {failures} 次沒有回應，要繼續傳送嗎？"


def unused_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def send(j):
    j.menu("工具(T)", "發訊(S)...")
    dialog = j.window("發送訊息", "dialog")
    j.fill(j.control(dialog, "text", "受訊者"), "; ".join(NUMBERS))
    j.fill(j.control(dialog, "text", "訊息內容"), "Gateway gone")
    j.press(dialog, "傳送")
    j.confirm_summary()


def results(rows):
    return sorted(r[4] for r in rows)


def gateway_gone_journey(j):
    j.write_config(port=unused_port())
    j.start_program()
    send(j)
    j.message_box(question(3))
    j.screenshot("question")
    start = time.monotonic()
    os.kill(j.program.pid, signal.SIGTERM)
    status = j.wait_program_end(timeout=10)
    check(status == 0, f"norvi-sms ended with status {status} on SIGTERM during the question")
    check(time.monotonic() - start < 5, "SIGTERM during the question took more than 5 s to end the program")

    j.start_program()
    j.answer("上次未儲存的發訊紀錄（10 筆）仍保留著，要載入？", "是")
    rows = j.wait_rows("the ten rows left behind", lambda rows: len(rows) == 10)
    check(results(rows) == ["未傳送：作業已中斷"] * 7 + ["網路連線失敗"] * 3, f"rows after SIGTERM: {rows}")

    send(j)
    j.answer("要清除現有的傳送紀錄？", "是")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    j.answer(question(3), "是")
    j.answer(question(6), "否")
    progress = j.window("作業進度", "dialog")
    ended = wait_for("the stopped run's end", lambda: j.find(progress, "push button", "確定"))
    said = " ".join(j.texts(progress))
    check("簡訊傳送已中斷（閘道沒有回應）：成功 0 筆，失敗 6 筆，未傳送 4 筆" in said, f"the progress window says {said!r}")
    j.screenshot("answered-no")
    j.click(ended, what="確定 of the progress window")
    j.window_gone("作業進度")
    j.window_gone("發送訊息")
    rows = j.wait_rows("the second run's ten rows", lambda rows: len(rows) == 10)
    check(results(rows) == ["未傳送：作業已中斷"] * 4 + ["網路連線失敗"] * 6, f"rows after 否: {rows}")
    check(not any("MsgId" in r[4] for r in rows), f"a row holds a MsgId no gateway gave: {rows}")

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")


if __name__ == "__main__":
    journey.run(gateway_gone_journey)
