"""The address book in the real program: a new member with two numbers, the second made the default; a new
group filled through the member picker; AddressBook.bin holds both as the window shows them."""

import os
import struct

import journey
from journey import JourneyError, wait_for

MEMBER = struct.Struct("<i100s120s200s")
GROUP = struct.Struct("<i100s1000i")


def check(condition, message):
    if not condition:
        raise JourneyError(message)


def read_book(path):
    """(members, groups) of AddressBook.bin: members as {id: (name, msisdn, desc)}, groups as
    {id: (name, [non-zero slots])}."""
    with open(path, "rb") as f:
        data = f.read()
    m, g = struct.unpack_from("<ii", data, 0)
    check(len(data) == 8 + m * MEMBER.size + g * GROUP.size,
          f"AddressBook.bin has {len(data)} bytes for {m} members and {g} groups")
    text = lambda b: b.split(b"\0", 1)[0].decode("cp950")
    members, groups = {}, {}
    for i in range(m):
        id_, name, msisdn, desc = MEMBER.unpack_from(data, 8 + i * MEMBER.size)
        members[id_] = (text(name), text(msisdn), text(desc))
    for i in range(g):
        fields = GROUP.unpack_from(data, 8 + m * MEMBER.size + i * GROUP.size)
        groups[fields[0]] = (text(fields[1]), [s for s in fields[2:] if s])
    return members, groups


def starts(prefix):
    return lambda name: name.startswith(prefix)


def button_menu(j, button, caption):
    """Clicks a tool button that opens a menu below itself and chooses an item of that menu."""
    j._focused = None
    j.click(button)
    e = button.queryComponent().getExtents(j.pyatspi.DESKTOP_COORDS)
    menu = None
    # The menu opens under the button; moving onto it shows its items.
    for step in range(8):
        j._xdotool("mousemove", "--sync", str(e.x + 24), str(e.y + e.height + 8 + 20 * step))
        try:
            menu = wait_for("an item of the button's menu under the pointer", j._focused_popup, 1.0)
            break
        except JourneyError:
            continue
    if menu is None:
        raise JourneyError(f"no menu opened under the button {button.name!r}")
    item = j.find(menu, "menu item", caption)
    check(item is not None, f"the menu of {button.name!r} has no item {caption!r}")
    j.click(item, what=f"the menu item {caption!r}")


def window_menu(j, window, menu_caption, caption):
    """Chooses an item of a window's own menu bar."""
    j.click(j.control(j.control(window, "menu bar"), "menu item", menu_caption))
    j.click(j.control(window, "menu item", caption))


def table_rows(j, table_acc):
    table = table_acc.queryTable()
    return [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]


def click_row(j, table_acc, caption):
    table = table_acc.queryTable()
    names = table_rows(j, table_acc)
    check(caption in names, f"no row {caption!r} in {table_acc.name!r}: {names}")
    j.click(table.getAccessibleAt(names.index(caption), 0), what=f"the row {caption!r}")


def adrbk_journey(j):
    j.start_gateway()
    j.write_config()
    j.start_program()
    j.click(j.control(j.main_window(), "push button", "通訊錄"))
    book = j.window("通訊錄", "dialog")
    j.control(j.control(book, "tree", "群組"), "table cell", "我的連絡人")

    # A new member with two numbers; the second becomes the default.
    button_menu(j, j.control(book, "push button", "新增↓"), "新成員(M)...")
    editor = j.window("內容", "dialog")
    j.fill(j.control(editor, "text", match=starts("名稱")), "Ann Lee")
    j.fill(j.control(editor, "text", match=starts("說明")), "journey")
    numbers = j.control(editor, "text", match=starts("行動電話"))
    for number in ("0911111111", "0922222222"):
        j.fill(numbers, number)
        j.press(editor, "新增")
    number_list = j.control(editor, ("tree", "table", "list"), "手機門號清單")
    wait_for("both numbers in the list", lambda: len(table_rows(j, number_list)) == 2)
    click_row(j, number_list, "0922222222")
    j.press(editor, "設成預設值")
    j.press(editor, "確定")
    j.window_gone("內容")

    start = j.start_dir
    path = os.path.join(start, "AddressBook.bin")
    wait_for("AddressBook.bin to be written", lambda: os.path.exists(path))
    members, groups = read_book(path)
    check(len(members) == 1 and not groups, f"the book holds {members} and {groups}")
    member_id, (name, msisdn, desc) = next(iter(members.items()))
    check((name, msisdn, desc) == ("Ann Lee", "0911111111;@0922222222", "journey"),
          f"the member is stored as {(name, msisdn, desc)}")
    contacts = j.control(book, "tree", "連絡人")
    wait_for("the new member listed", lambda: table_rows(j, contacts) == ["Ann Lee"])

    # A new group, filled through the member picker.
    button_menu(j, j.control(book, "push button", "新增↓"), "新群組(G)...")
    editor = j.window("內容", "dialog")
    j.fill(j.control(editor, "text", match=starts("名稱")), "Team A")
    j.press(editor, "選擇成員")
    picker = j.window("選擇群組成員", "dialog")
    click_row(j, j.control(picker, "tree", match=starts("從清單挑選")), "Ann Lee")
    j.press(picker, "選擇")
    chosen = j.control(picker, "tree", match=starts("成員"))
    wait_for("the chosen member on the right", lambda: table_rows(j, chosen) == ["Ann Lee"])
    j.press(picker, "確定")
    j.window_gone("選擇群組成員")
    check(any("1 個成員" == t for t in j.texts(editor)), f"the group editor says {j.texts(editor)}")
    j.press(editor, "確定")
    j.window_gone("內容")

    def stored_group():
        _, groups = read_book(path)
        return groups if len(groups) == 1 else None
    groups = wait_for("the group in AddressBook.bin", stored_group)
    check(list(groups.values()) == [("Team A", [member_id])], f"the group is stored as {groups}")
    # The window shows the new group selected, with its one entry.
    tree = j.control(book, "tree", "群組")
    wait_for("the group selected in the tree", lambda: j._states(j.control(tree, "table cell", "Team A")).contains(j.pyatspi.STATE_SELECTED))
    wait_for("the group's entries listed", lambda: table_rows(j, contacts) == ["Ann Lee"])
    j.screenshot("book")

    window_menu(j, book, "檔案(F)", "結束(X)")
    j.window_gone("通訊錄")


if __name__ == "__main__":
    journey.run(adrbk_journey)
