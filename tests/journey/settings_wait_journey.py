"""The connection test against a gateway that accepts the connection and never answers: the settings window
stays usable while the test waits (its tabs switch, it says what it waits for and how long), and 取消測試
ends the test at once, without a box and without ending the program. A SIGTERM while a test waits ends the
program within seconds."""

import os
import re
import signal
import time

import journey
from journey import check, wait_for


def waiting_line(j, dialog):
    """The line under the test's button, or None while it says nothing."""
    for text in j.texts(dialog):
        if text.startswith("正在連線測試") or text.startswith("連線測試已取消") or text.startswith("正在取消"):
            return text
    return None


def settings_wait_journey(j):
    port = j.start_gateway("--silent-after", "0")
    j.write_config(port)
    j.start_program()
    main = j.main_window()

    j.menu("工具(T)", "設定(O)...")
    dialog = j.window("參數設定", "dialog")
    j.click(j.control(dialog, "push button", "連線測試"))

    # The test waits on its own thread: the window says so, with the seconds going up.
    first = wait_for("the settings window to say it waits for the gateway",
                     lambda: (lambda t: t if t and re.search(r"等待閘道回應 [1-9]\d* 秒", t) else None)(
                         waiting_line(j, dialog)), timeout=15)
    check(first.startswith("正在連線測試…"), f"the line says {first!r}")
    cancel = j.control(dialog, "push button", "取消測試")
    check(j.enabled(cancel), "取消測試 cannot be pressed while the test waits")
    # The simulator names a request it leaves unanswered by its type; 0 is the login.
    check(any(line.startswith("0: no reply") for line in j.gateway_requests("type")),
          f"the gateway saw no login: {j.gateway_requests('type')}")

    # The window stays usable: the other tab opens and shows its control, then the gateway tab again.
    j.click(j.control(dialog, "page tab", "目錄設定"))
    wait_for("the 目錄設定 tab to show its folder field",
             lambda: j.find(dialog, "text", "運作記錄檔目錄：") is not None)
    check(j.find(dialog, "push button", "取消測試") is None, "the gateway tab's button still shows on 目錄設定")
    j.click(j.control(dialog, "page tab", "Gateway設定"))
    cancel = j.control(dialog, "push button", "取消測試")
    later = wait_for("the seconds to go on while the tabs were switched",
                     lambda: (lambda t: t if t and t != first and "等待閘道回應" in t else None)(
                         waiting_line(j, dialog)), timeout=15)
    check(int(re.search(r"(\d+) 秒", later).group(1)) >= int(re.search(r"(\d+) 秒", first).group(1)),
          f"the seconds went back: {first!r} then {later!r}")

    started = time.monotonic()
    j.click(cancel, what="取消測試")
    wait_for("the test to say it was cancelled", lambda: waiting_line(j, dialog) == "連線測試已取消", timeout=5)
    took = time.monotonic() - started
    check(took < 5, f"the cancel took {took:.1f} s")
    check(j.enabled(j.control(dialog, "push button", "連線測試")), "連線測試 is not back")
    check(not any(w.getRoleName() == "alert" for w in j.windows()), "a cancelled test showed a box")

    j.click(j.control(dialog, "push button", "取消"))
    j.window_gone("參數設定")
    check(j.program.poll() is None, "the program ended")
    check(j.enabled(main), "the main window cannot be used after the settings window closed")

    # A log-out while a test waits: the test is a job like a send, so SIGTERM stops it and the program ends.
    j.menu("工具(T)", "設定(O)...")
    dialog = j.window("參數設定", "dialog")
    j.click(j.control(dialog, "push button", "連線測試"))
    wait_for("the second test to wait for the gateway",
             lambda: (lambda t: t if t and "等待閘道回應" in t else None)(waiting_line(j, dialog)), timeout=15)
    j.screenshot("settings-test-waiting")
    started = time.monotonic()
    os.kill(j.program.pid, signal.SIGTERM)
    status = j.wait_program_end(timeout=10)
    check(status == 0, f"norvi-sms ended with status {status} on SIGTERM during a connection test")
    check(time.monotonic() - started < 5, "SIGTERM during a connection test took more than 5 s")


if __name__ == "__main__":
    journey.run(settings_wait_journey)
