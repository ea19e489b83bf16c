"""A pop-up 查詢 against a gateway that never answers the query: while it waits, the main window's menu bar
still opens 關於 and the view toggles, the commands that would start other work are disabled, and 檔案 →
結束 asks as the close box does; 是 stops the query and the program ends."""

import journey
from journey import check, wait_for
from keyboard_journey import walk

EXIT_QUESTION = "作業進行中，要中斷作業並結束程式？"


def menu_item_enabled(j, menu_caption, caption):
    """Opens a menu of the main window's bar, reads whether an item can be chosen, and closes the menu."""
    bar = j.control(j.main_window(), "menu bar")
    j.click(j.control(bar, "menu item", menu_caption))
    item = wait_for(f"the menu item {caption!r}", lambda: j._popup_item(caption))
    enabled = j.enabled(item)
    j.key("Escape")
    wait_for(f"the menu {menu_caption!r} to close", lambda: not j.showing(item))
    return enabled


def popup_exit_journey(j):
    j.start_gateway("--silent-after", "1")  # the login is answered, the query waits
    j.write_config()
    rows = [{"name": f"r{i}", "mobile": f"091200000{i}", "time": "20240301093000", "code": "0",
             "result": f"訊息已成功送出(MsgId:M{i})", "content": "hi"} for i in range(1, 4)]
    path = j.dir + "/three.log"
    journey.write_log(path, rows)
    j.start_program()
    j.load_log(path, 3)

    j.popup_below_rows("查詢(Q)")
    progress = j.window("作業進度", "dialog")
    wait_for("the query to wait for the gateway", lambda: any("等待閘道回應" in t for t in j.texts(progress)))
    walk(j, "作業進度", ["中斷"])

    j.menu("說明(H)", "關於(A)...")
    about = j.window("關於", "dialog")
    j.press(about, "OK")
    j.window_gone("關於")

    status_bar = j.control(j.main_window(), "status bar")
    j.menu("檢視(V)", "狀態列(S)")
    wait_for("the status bar to go", lambda: not j.showing(status_bar))
    j.menu("檢視(V)", "狀態列(S)")
    wait_for("the status bar to come back", lambda: j.showing(j.control(j.main_window(), "status bar")))

    for menu_caption, caption in (("工具(T)", "發訊(S)..."), ("工具(T)", "設定(O)..."), ("檔案(F)", "載入紀錄(L)...")):
        check(not menu_item_enabled(j, menu_caption, caption), f"{caption} can be chosen while the query runs")
    check(any("等待閘道回應" in t for t in j.texts(progress)), "the query no longer waits")
    j.screenshot("menus-during-query")

    j.menu("檔案(F)", "結束(X)")
    j.answer(EXIT_QUESTION, "是")
    # The stopped query may have left the rows changed; then the usual question comes.
    wait_for("the program to end or ask about saving",
             lambda: j.program.poll() is not None or any(w.getRoleName() == "alert" for w in j.windows()))
    if j.program.poll() is None:
        j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")
    asked = j.gateway_requests("query")
    check(len(asked) <= 1, f"the gateway was asked {asked} after the stop")


if __name__ == "__main__":
    journey.run(popup_exit_journey)
