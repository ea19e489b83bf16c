"""Imports a comma-separated file through 通訊錄 → 匯入: the file type chooser, the path typed into the
wizard, the header's own mapping, 完成; the new members are in AddressBook.bin and in the list of the
address book window, and the short line is named in the main window's message area. Then a file without a
header whose first name holds a quoted comma: the wizard sees that its first line is data (the header box
unchecked, the columns mapped by what they hold), Alt+H says otherwise and back again, and 完成 stores the
name whole and names the line whose number is no telephone number."""

import os

import journey
from journey import check, wait_for

SOURCE = "名稱,行動電話,備註\r\n王小明,(02)2345-6789,北區, 業務\r\n\r\n陳美麗\r\nChen,0933000003,\r\n"
QUOTED = '"林,小華",0933111333,quoted comma\r\nWu,0944111222\r\n小明,"小華"\r\n'


def header_box(j, wizard):
    return j.control(wizard, "check box", match=lambda n: n.startswith("第一行是欄位名稱"))


def checked(j, acc):
    return j._states(acc).contains(j.pyatspi.STATE_CHECKED)


def mapped(j, wizard):
    """The 通訊錄欄位 the mapping list shows, row by row."""
    table = j.control(wizard, ("tree table", "table", "tree"), match=lambda n: n.startswith("請選擇您要匯入的欄位"))
    cells = table.queryTable()
    return [cells.getAccessibleAt(r, 1).name for r in range(cells.nRows)]


def import_quoted_without_header(j, chooser):
    source = os.path.join(j.dir, "quoted.csv")
    with open(source, "wb") as f:
        f.write(QUOTED.encode("cp950"))
    j.press(chooser, "匯入")
    wizard = j.window("匯入", "dialog")
    j.fill(j.control(wizard, "text", match=lambda n: n.startswith("請選擇要匯入的檔案")), source)
    j.press(wizard, "下一步")
    box = header_box(j, wizard)
    check(not checked(j, box), "the wizard took the quoted line for names")
    wait_for("the columns mapped by what they hold", lambda: mapped(j, wizard) == ["名稱", "行動電話", "說明"])
    j.screenshot("no-header")
    j.key("alt+h")
    wait_for("Alt+H to take the first line as names", lambda: checked(j, box) and mapped(j, wizard) == ["", "", ""])
    j.key("alt+h")
    wait_for("Alt+H to take it as data again", lambda: not checked(j, box) and mapped(j, wizard)[0] == "名稱")
    j.press(wizard, "完成")
    j.answer("通訊錄匯入作業已完成\n新增 2 位成員\n未匯入 1 行：第 3 行 門號「小華」不是手機門號", "確定")
    j.window_gone("匯入")
    members = wait_for("the quoted name in AddressBook.bin",
                       lambda: (lambda m: m if len(m) == 4 else None)(journey.read_members(j.start_dir)))
    check([m[1:] for m in members[2:]] == [("林,小華", "0933111333", "quoted comma"), ("Wu", "0944111222", "")],
          f"AddressBook.bin holds {members}")


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
    j.answer("通訊錄匯入作業已完成\n新增 2 位成員\n未匯入 1 行：第 4 行 欄位數不足 2 個", "確定")
    j.window_gone("匯入")

    members = wait_for("the members in AddressBook.bin",
                       lambda: os.path.exists(os.path.join(j.start_dir, "AddressBook.bin")) and
                       journey.read_members(j.start_dir))
    check([m[1:] for m in members] == [("王小明", "0223456789", "北區, 業務"), ("Chen", "0933000003", "")],
          f"AddressBook.bin holds {members}")
    check(members[1][0] == members[0][0] + 1, f"the ids are not consecutive: {members}")

    import_quoted_without_header(j, chooser)
    j.press(chooser, "取消")
    j.window_gone("通訊錄匯入工具")
    wait_for("the address book's list to show the new members",
             lambda: j.find(book, None, "王小明") and j.find(book, None, "Chen") and j.find(book, None, "林,小華"))
    j.menu("檔案(F)", "結束(X)", window=book)
    j.window_gone("通訊錄")
    area = j.control(j.main_window(), "text", "訊息視窗")
    short_line = f"匯入檔{source}之第4行欄位數不足2個"
    wait_for(f"the message area to name the short line (it shows {j.edit_text(area)!r})",
             lambda: short_line in j.edit_text(area))


if __name__ == "__main__":
    journey.run(book_import_journey)
