"""Every window whose closing row is a button box, opened from the main window or the address book and left
by its 取消 with a real click: each closes, the window behind it takes clicks again, and 結束 ends the
program with status 0."""

import journey
from adrbk_journey import button_menu, window_menu
from journey import check


def cancel(j, title, opener_title=None):
    """Presses 取消 in the window titled `title` and checks that the window behind it is usable again."""
    dialog = j.window(title, "dialog")
    j.press(dialog, "取消")
    j.window_gone(title)
    if opener_title is None:
        check(j.enabled(j.main_window()), f"the main window is not usable after {title} closed")
    else:
        check(j.enabled(j.window(opener_title, "dialog")), f"{opener_title} is not usable after {title} closed")


def forms_journey(j):
    j.start_gateway()
    j.write_config()
    j.start_program()

    j.menu("工具(T)", "設定(O)...")
    cancel(j, "參數設定")
    j.menu("工具(T)", "發訊(S)...")
    cancel(j, "發送訊息")
    j.menu("工具(T)", "查詢(Q)...")
    cancel(j, "狀態查詢")

    j.click(j.control(j.main_window(), "push button", "通訊錄"))
    book = j.window("通訊錄", "dialog")
    button_menu(j, j.control(book, "push button", "新增↓"), "新成員(M)...")
    cancel(j, "內容", "通訊錄")
    button_menu(j, j.control(book, "push button", "新增↓"), "新群組(G)...")
    editor = j.window("內容", "dialog")
    j.press(editor, "選擇成員")
    cancel(j, "選擇群組成員", "內容")
    j.screenshot("group-editor-after-picker")
    cancel(j, "內容", "通訊錄")
    window_menu(j, book, "檔案(F)", "結束(X)")
    j.window_gone("通訊錄")
    check(j.enabled(j.main_window()), "the main window is not usable after the address book closed")

    j.menu("檔案(F)", "結束(X)")
    status = j.wait_program_end()
    check(status == 0, f"norvi-sms ended with status {status}")


if __name__ == "__main__":
    journey.run(forms_journey)
