"""Imports a comma-separated file through 通訊錄 → 匯入: the file type chooser, the path typed into the
wizard, the header's own mapping, 完成; the new members are in AddressBook.bin and in the list of the
address book window, and the short line is named in the main window's message area."""

import os

import journey
from journey import check, wait_for

SOURCE = "名稱,行動電話,備註\r\n王小明,(02)2345-6789,北區, 業務\r\n\r\n陳美麗\r\nChen,0933000003,\r\n"


def book_import_journey(j):
    j.start_gateway()
    j.write_config()
    source = os.path.join(j.dir, "contacts.csv")
    with open(source, "wb") as f:
        f.write(SOURCE.encode("cp950"))
    j.start_program()

    j.menu("工具(T)", "通訊錄(B)...")
    book = j.window("通訊錄", "dialog")
    j.menu("檔案(F)", "匯入(I)...", window=book)
    chooser = j.window("通訊錄匯入工具", "dialog")
    j.click(j.control(chooser, "list item", "純文字檔案 (逗點分隔)"))
    j.press(chooser, "匯入")

    wizard = j.window("匯入", "dialog")
    path = j.control(wizard, "text", match=lambda n: n.startswith("請選擇要匯入的檔案"))
    j.fill(path, source)
    j.press(wizard, "下一步")
    j.press(wizard, "完成")
    j.answer("通訊錄匯入作業已完成\n新增 2 位成員，1 行未匯入（原因見訊息視窗）", "確定")
    j.window_gone("匯入")

    members = wait_for("the members in AddressBook.bin",
                       lambda: os.path.exists(os.path.join(j.start_dir, "AddressBook.bin")) and
                       journey.read_members(j.start_dir))
    check([m[1:] for m in members] == [("王小明", "0223456789", "北區, 業務"), ("Chen", "0933000003", "")],
          f"AddressBook.bin holds {members}")
    check(members[1][0] == members[0][0] + 1, f"the ids are not consecutive: {members}")

    j.press(chooser, "取消")
    j.window_gone("通訊錄匯入工具")
    wait_for("the address book's list to show the new members",
             lambda: j.find(book, None, "王小明") and j.find(book, None, "Chen"))
    j.menu("檔案(F)", "結束(X)", window=book)
    j.window_gone("通訊錄")
    area = j.control(j.main_window(), "text", "訊息視窗")
    short_line = f"匯入檔{source}之第4行欄位數不足2個"
    wait_for(f"the message area to name the short line (it shows {j.edit_text(area)!r})",
             lambda: short_line in j.edit_text(area))


if __name__ == "__main__":
    journey.run(book_import_journey)
