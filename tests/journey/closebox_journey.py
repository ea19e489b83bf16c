"""The close box during a run from the send dialog, against a gateway that never answers the send: pressed on
the main window or on the dialog (both under the progress window), it brings the progress window to the
front with the keyboard, asks nothing and ends nothing. Once the run was stopped and confirmed, the main
window's close box asks its usual question again, and 結束 ends the program."""

import time

import journey
from journey import check, wait_for

MAIN = "Norvi簡訊服務軟體"


def no_question(j):
    return not any(w.getRoleName() == "alert" for w in j.windows())


def closebox_journey(j):
    j.start_gateway("--silent-after", "1")  # the login is answered, the send waits
    j.write_config()
    j.start_program()
    j.menu("工具(T)", "發訊(S)...")
    dialog = j.window("發送訊息", "dialog")
    j.fill(j.control(dialog, "text", "受訊者"), "0912000001")
    j.fill(j.control(dialog, "text", "訊息內容"), "Close box test")
    j.press(dialog, "傳送")
    j.confirm_summary()
    progress = j.window("作業進度", "dialog")
    wait_for("the run to wait for the gateway", lambda: any("等待閘道回應" in t for t in j.texts(progress)))

    progress_id = j.x_window("作業進度")
    for title in (MAIN, "發送訊息"):
        window = j.x_window(title)
        # The user brought the blocked window forward, as a click on it with a window manager would.
        j.raise_window(window)
        wait_for(f"{title!r} above the progress window", lambda: j.above(window, progress_id))
        j.close_box(window)
        wait_for(f"the progress window in front with the keyboard after {title!r}'s close box",
                 lambda: j.above(progress_id, window) and j.x11().focus() == progress_id)
        j.screenshot(f"after-close-box-{'main' if title == MAIN else 'dialog'}")
        time.sleep(1)  # a question or an end would come at once
        check(no_question(j), f"the close box of {title!r} asked: {j.window_titles()}")
        check(j.program.poll() is None, f"the close box of {title!r} ended the program")
        check(any("等待閘道回應" in t for t in j.texts(progress)), "the run no longer waits")

    stop = j.control(progress, "push button", "中斷")
    j.click(stop, what="中斷")
    ended = wait_for("the stopped run's end", lambda: j.find(progress, "push button", "確定"), timeout=30)
    j.click(ended, what="確定 of the progress window")
    j.window_gone("作業進度")
    j.window_gone("發送訊息")  # a send's 確定 closes the dialog that started it

    # Nothing modal is open: the close box reaches the main window, which asks about the unsaved row.
    j.close_box(j.x_window(MAIN))
    j.message_box("現有的傳送紀錄已變更，要儲存？")
    j.key("Escape")
    wait_for("the question to close", lambda: no_question(j))
    check(j.program.poll() is None, "backing out of the close box's question ended the program")

    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")


if __name__ == "__main__":
    journey.run(closebox_journey)
