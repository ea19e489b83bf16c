"""A first start without a configuration: the program says so and opens the settings dialog, the user fills it in,
tests the connection and confirms; the file is written and the gateway commands come on."""

import os
import stat

import journey
from journey import check, wait_for


def settings_journey(j):
    port = j.start_gateway()
    j.start_program()
    title = j.answer("讀取設定檔錯誤，請重新執行設定功能", "確定")
    check(title == "錯誤", f"the missing configuration is reported under {title!r}, not 錯誤")

    main = j.main_window()
    send = j.control(main, "push button", "發訊")
    wait_for("發訊 to stay disabled without a configuration", lambda: not j.enabled(send))

    # The settings window opens by itself: nothing can be done before it is filled in.
    dialog = j.window("參數設定", "dialog")
    j.fill(j.control(dialog, "text", "Gateway Addr："), "127.0.0.1")
    j.fill(j.control(dialog, "text", "Gateway PORT："), str(port))
    j.fill(j.control(dialog, "text", "帳號："), "demo")
    j.fill(j.control(dialog, ("password text", "text"), "密碼："), "demo", verify=False)
    j.click(j.control(dialog, "push button", "連線測試"))
    j.answer("帳號/密碼檢查成功", "確定")
    logins = j.gateway_requests("login")
    check(any(line.startswith("demo -> 0") for line in logins), f"the gateway saw no good login: {logins}")
    check(not os.path.exists(os.path.join(j.start_dir, "NorviSMSAp.cfg")), "the connection test wrote the file")

    j.click(j.control(dialog, "push button", "確定"))
    j.window_gone("參數設定")
    config_path = os.path.join(j.start_dir, "NorviSMSAp.cfg")
    wait_for("NorviSMSAp.cfg to be written", lambda: os.path.exists(config_path))
    config = journey.read_config(j.start_dir)
    expected = {"logFiles": j.log_dir, "gwIp": "127.0.0.1", "gwPort": port, "gwAccount": "demo", "gwPasswd": "demo"}
    check(config == expected, f"NorviSMSAp.cfg holds {config}, expected {expected}")
    mode = stat.S_IMODE(os.stat(config_path).st_mode)
    check(mode == 0o600, f"NorviSMSAp.cfg is readable by others (mode {mode:o}): it holds the password")

    wait_for("發訊 to be enabled after the settings were confirmed", lambda: j.enabled(send))
    for caption in ("查詢", "取消預約"):
        check(j.enabled(j.control(main, "push button", caption)), f"{caption} stays disabled")


if __name__ == "__main__":
    journey.run(settings_journey)
