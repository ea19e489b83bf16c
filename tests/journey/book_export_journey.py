"""Exports the address book through 通訊錄 → 匯出: the file type chooser (comma type), the wizard's save
dialog answered with a name without extension, the three fields, 完成; the file's bytes are checked:
Big5, CR LF, the header, the members in the order the list shows them (a description with a comma in
double quotes), ".csv" added to the name. Then a name typed into a folder that is not there: the page says
why 下一步 waits, 建立資料夾 makes the folder, and the name is saved with ".csv"."""

import os

import journey
from journey import check, wait_for

SOURCE = "名稱,行動電話,備註\n王小明,0912-000-001,北區, 業務\nChen,@0922000002;0933000003,\n"
EXPECTED = "名稱,行動電話,備註\r\nChen,@0922000002;0933000003,\r\n王小明,0912000001,\"北區, 業務\"\r\n"


def book_export_journey(j):
    j.start_gateway()
    j.write_config()
    # The book comes from the command line's import of a UTF-8 file.
    source = os.path.join(j.dir, "source.csv")
    with open(source, "w", encoding="utf-8") as f:
        f.write(SOURCE)
    j.run_cli("book", "import", source)
    j.start_program()

    j.menu("工具(T)", "通訊錄(B)...")
    book = j.window("通訊錄", "dialog")
    j.menu("檔案(F)", "匯出(E)...", window=book)
    chooser = j.window("通訊錄匯出工具", "dialog")
    j.click(j.control(chooser, "list item", "純文字檔案 (逗點分隔)"))
    j.press(chooser, "匯出")

    wizard = j.window("匯出", "dialog")
    j.press(wizard, "瀏覽")
    target = os.path.join(j.dir, "exported")
    j.choose_file("另存新檔", target)
    path = j.control(wizard, "text", match=lambda n: n.startswith("另存匯出的檔案"))
    wait_for("the wizard to show the name with its extension", lambda: j.edit_text(path) == target + ".csv")
    j.press(wizard, "下一步")
    fields = j.control(wizard, ("tree", "tree table", "list"), match=lambda n: n.startswith("請選擇您要匯出的欄位"))
    check(fields is not None, "page 2 shows no field list")
    j.press(wizard, "完成")
    j.answer("通訊錄匯出作業已完成", "確定")
    j.window_gone("匯出")

    exported = target + ".csv"
    wait_for("the exported file", lambda: os.path.exists(exported))
    with open(exported, "rb") as f:
        data = f.read()
    check(data == EXPECTED.encode("cp950"), f"the file holds {data!r}")

    j.press(chooser, "匯出")
    wizard = j.window("匯出", "dialog")
    folder = os.path.join(j.dir, "new", "dir")
    path = j.control(wizard, "text", match=lambda n: n.startswith("另存匯出的檔案"))
    j.fill(path, os.path.join(folder, "typed"))
    reason = f"資料夾「{folder}」不存在。"
    wait_for("the page to say why 下一步 waits", lambda: reason in j.texts(wizard))
    check(not j.enabled(j.control(wizard, "push button", "下一步(N) >")), "下一步 leads on into a missing folder")
    j.screenshot("missing-folder")
    j.press(wizard, "建立資料夾")
    wait_for("the folder to be made", lambda: os.path.isdir(folder))
    wait_for("下一步 to be enabled", lambda: j.enabled(j.control(wizard, "push button", "下一步(N) >")))
    check(reason not in j.texts(wizard), "the page still says the folder is missing")
    j.press(wizard, "下一步")
    j.press(wizard, "完成")
    j.answer("通訊錄匯出作業已完成", "確定")
    j.window_gone("匯出")
    with open(os.path.join(folder, "typed.csv"), "rb") as f:
        check(f.read() == EXPECTED.encode("cp950"), "the typed name's file holds something else")

    j.press(chooser, "取消")
    j.window_gone("通訊錄匯出工具")
    j.menu("檔案(F)", "結束(X)", window=book)
    j.window_gone("通訊錄")


if __name__ == "__main__":
    journey.run(book_export_journey)
