"""Every dialog from the keyboard, over the accessibility bus: Tab walks each dialog's controls in reading
order, every stop a named control (a drop-down named by its label) and nothing unnamed reported as focused
with it, and Esc closes the dialog. Then a send with the keyboard alone: the send dialog opened from the
menu with its keys, the recipients and the text typed, Tab to each control, Return in the recipient field
sends, Return takes the summary's 傳送, and Return confirms the end in the progress window.

A dialog joins the walk by one line of DIALOGS: its title, how it is opened (from the window the line before
left open) and the controls Tab reaches, in order."""

import os

import journey
from adrbk_journey import button_menu
from journey import JourneyError, check, wait_for, write_log

UNNAMED_CONTAINERS = ("panel", "filler", "unknown", "frame", "dialog")
ITEM_HOLDERS = ("combo box", "list", "tree", "tree table", "table", "menu")


def stop_name(j, acc):
    """What a screen reader calls a focused control: a drop-down by the label that names it, a list's cell by
    its list, anything else by its name."""
    role = acc.getRoleName()
    if role == "table cell":
        acc = acc.parent
        while acc is not None and acc.getRoleName() not in ("table", "tree", "tree table", "list"):
            acc = acc.parent
        return acc.name if acc is not None else ""
    if role == "combo box":
        for relation in acc.getRelationSet():
            if relation.getRelationType() == j.pyatspi.RELATION_LABELLED_BY and relation.getNTargets() > 0:
                return relation.getTarget(0).name
        return ""
    return acc.name


def focused_in(j, window):
    """The objects of the window that say they have the focus."""
    found, stack = [], [window]
    while stack:
        acc = stack.pop()
        try:
            if acc is not window and j._states(acc).contains(j.pyatspi.STATE_FOCUSED):
                found.append(acc)
            # The items of lists and drop-downs are named by what they show; walking them all is slow.
            if acc is window or acc.getRoleName() not in ITEM_HOLDERS:
                stack.extend(acc.getChildAtIndex(i) for i in range(acc.childCount))
        except Exception:
            continue
    return found


def unnamed_focused(j, window):
    """Objects of the window that say they have the focus but have no name a screen reader could read."""
    return [acc.getRoleName() for acc in focused_in(j, window) if not acc.name and acc.getRoleName() != "combo box"]


def walk(j, title, expected):
    """Presses Tab round the dialog once and checks every stop; the stops must be `expected` in order, the
    walk starting wherever the dialog put the focus."""
    window = j.window(title, "dialog")
    # A window manager gives the keyboard back to the dialog a closed one was opened from; the bare display
    # of a journey has none, so the journey does what it would.
    x_window = j.x_window(title)
    if j.x11().focus() != x_window:
        j.raise_window(x_window)
    wait_for(f"{title!r} to take the keyboard", lambda: focused_in(j, window))
    seen = []
    for _ in range(len(expected) + 3):
        j._focused = None
        j.key("Tab")
        if len(expected) == 1:
            break  # the one control keeps the focus; no event comes
        acc = wait_for(f"Tab to move the focus in {title!r} (after {seen})", lambda: j._focused, 5)
        role = acc.getRoleName()
        check(role not in UNNAMED_CONTAINERS, f"Tab in {title!r} stopped on a {role} after {seen}")
        name = stop_name(j, acc)
        check(name, f"Tab in {title!r} stopped on a {role} without a name after {seen}")
        check(j.showing(acc), f"{name!r} in {title!r} has the focus but is not on screen")
        unnamed = unnamed_focused(j, window)
        check(not unnamed, f"with {name!r} focused, {title!r} reports unnamed {unnamed} as focused too")
        if name in seen:
            break
        seen.append(name)
    if len(expected) == 1:
        wait_for(f"{expected[0]!r} to keep the focus in {title!r}",
                 lambda: [stop_name(j, acc) for acc in focused_in(j, window)] == expected)
        return
    start = seen.index(expected[0]) if expected[0] in seen else 0
    chain = seen[start:] + seen[:start]
    check(chain == expected, f"Tab in {title!r} goes {chain}, not {expected}")


def close_with_escape(j, title):
    j.key("Escape")
    j.window_gone(title)


def main_window_key(key):
    def act(j):
        # The main window has the keyboard again, as a window manager gives it back after a dialog.
        j.raise_window(j.x_window("Norvi簡訊服務軟體"))
        j.key(key)
    return act


def menu(*path, window=None):
    return lambda j: j.menu(*path, window=j.window(window, "dialog") if window else None)


def press(title, caption):
    return lambda j: j.press(j.window(title, "dialog"), caption)


def tool_menu(title, button, item):
    return lambda j: button_menu(j, j.control(j.window(title, "dialog"), "push button", button), item)


def choose_page(title, tab):
    return lambda j: j.click(j.control(j.window(title, "dialog"), "page tab", tab))


def fill(title, label_prefix, text):
    def act(j):
        window = j.window(title, "dialog")
        j.fill(j.control(window, "text", match=lambda n: n.startswith(label_prefix)), text)
    return act


def choose_type(j):
    chooser = j.window("通訊錄匯入工具", "dialog")
    j.click(j.control(chooser, "list item", "純文字檔案 (逗點分隔)"))


SEND = ["受訊者", "上載...", "立即傳送", "訊息截止時間：", "傳送後追蹤結果(F)", "一般簡訊", "預覽", "訊息內容",
        "傳送(S)", "取消", "受訊者："]
PICKER = ["從清單挑選：", "選擇(T) ->", "{}：", "新成員(W)", "內容(C)", "確定", "取消"]

# (title, how it is opened, the Tab stops in order, whether Esc closes it after the walk). A line without an
# opener is about the dialog a line before opened, as it stands now; one without stops only closes it.
DIALOGS = [
    ("參數設定", menu("工具(T)", "設定(O)..."),
     ["Gateway設定", "Gateway Addr：", "Gateway PORT：", "帳號：", "密碼：", "連線測試", "確定", "取消"], False),
    ("參數設定", choose_page("參數設定", "目錄設定"), ["目錄設定", "運作記錄檔目錄：", "選擇運作記錄檔目錄", "確定", "取消"],
     False),
    ("目錄選擇", press("參數設定", "選擇運作記錄檔目錄"), ["磁碟機(D)：", "請選擇運作記錄檔目錄：", "確定", "取消"], True),
    # The journeys' quiet hours are off, so their hours and the command line's box wait greyed.
    ("參數設定", choose_page("參數設定", "傳送時段"), ["傳送時段", "夜間不傳送(N)", "傳送前的確認只在有略過或警告時顯示(W)", "確定", "取消"],
     True),
    ("拒收名單", menu("工具(T)", "拒收名單(R)..."), ["號碼(N)：", "備註(M)：", "新增(A)", "篩選(F)：", "拒收的號碼",
                                                   "匯入(I)...", "匯出(E)...", "關閉"], True),
    ("發送訊息", menu("工具(T)", "發訊(S)..."), SEND, False),
    ("簡訊預覽", press("發送訊息", "預覽"), ["簡訊預覽", "關閉"], True),
    ("選擇受訊者", press("發送訊息", "受訊者："), [n.format("受訊者") for n in PICKER], True),
    ("發送訊息", None, None, True),
    ("狀態查詢", menu("工具(T)", "查詢(Q)..."), ["發訊紀錄列視框所選紀錄查詢", "查詢", "取消"], True),
    ("取消預約", menu("工具(T)", "取消預約(C)..."), ["發訊紀錄列視框所選紀錄預約取消", "確定", "取消"], True),
    ("追蹤傳送結果", menu("工具(T)", "追蹤傳送結果(F)..."), ["每幾分鐘查詢", "幾小時後停止", "開始追蹤", "取消"], True),
    ("傳送結果統計", menu("檢視(V)", "傳送結果統計(R)..."), ["傳送結果統計", "匯出(E)...", "關閉"], True),
    ("使用量統計", menu("檢視(V)", "使用量統計(U)..."), ["月份(M)：", "每日使用量", "無法完整讀取的紀錄檔(L)：", "匯出(E)...", "關閉"],
     True),
    ("匯出未送達名單", menu("檔案(F)", "匯出未送達名單(U)..."), ["失敗(F)", "不確定(U)", "未查詢(N)", "匯出(E)...", "取消"], True),
    ("關於", menu("說明(H)", "關於(A)..."), ["OK"], True),
    ("傳送紀錄", main_window_key("alt+Return"), ["傳送紀錄", "關閉"], True),
    ("通訊錄", menu("工具(T)", "通訊錄(B)..."), ["新增↓", "群組", "連絡人"], False),
    ("內容", tool_menu("通訊錄", "新增↓", "新成員(M)..."),
     ["名稱(N)：", "說明(D)：", "行動電話(M)：", "手機門號清單", "群組成員：", "確定", "取消", "成員"], True),
    ("內容", tool_menu("通訊錄", "新增↓", "新群組(G)..."),
     ["名稱(G)：", "群組成員：", "選擇成員(S)", "新連絡人(N)", "確定", "取消", "群組"], False),
    ("選擇群組成員", press("內容", "選擇成員"), [n.format("成員") for n in PICKER], True),
    ("內容", None, None, True),
    ("通訊錄匯入工具", menu("檔案(F)", "匯入(I)...", window="通訊錄"), ["檔案類型", "取消(C)"], False),
    ("通訊錄匯入工具", choose_type, ["檔案類型", "匯入(I)", "取消(C)"], False),
    ("匯入", press("通訊錄匯入工具", "匯入"), ["請選擇要匯入的檔案(C)：", "瀏覽(R)...", "取消"], False),
    ("匯入", lambda j: fill("匯入", "請選擇要匯入", os.path.join(j.dir, "book.csv"))(j),
     ["請選擇要匯入的檔案(C)：", "瀏覽(R)...", "下一步(N) >", "取消"], False),
    ("匯入", press("匯入", "下一步"), ["請選擇您要匯入的欄位(M)：", "第一行是欄位名稱(H)", "變更對應(C)...", "< 上一步(B)", "完成", "取消"], False),
    ("變更對應", press("匯入", "變更對應"), ["從通訊錄中選擇文字欄位(S)：", "匯入這個欄位(I)", "確定", "取消"], True),
    ("匯入", None, None, True),
    ("通訊錄匯入工具", None, None, True),
    ("通訊錄", None, None, True),
]


def send_with_keys_alone(j):
    """發訊 from the menu's keys; every control reached with Tab; Return in the recipient field sends."""
    j.raise_window(j.x_window("Norvi簡訊服務軟體"))
    # The walk has just closed a stack of windows: the key goes only once the main window is the active one
    # again, and is pressed once more if a busy machine still let it reach a window on its way out.
    main = j.main_window()
    wait_for("the main window to be active", lambda: j._states(main).contains(j.pyatspi.STATE_ACTIVE))
    opened = lambda: j._popup_item("發訊(S)...") and j.showing(j._popup_item("發訊(S)..."))
    j.key("alt+t")
    try:
        wait_for("the menu 工具 to open", opened, timeout=5)
    except JourneyError:
        j.key("Escape")
        j.key("alt+t")
        wait_for("the menu 工具 to open", opened)
    j.key("s")
    dialog = j.window("發送訊息", "dialog")
    recipients = j.control(dialog, "text", "受訊者")
    wait_for("the recipient field to take the keyboard",
             lambda: j._states(recipients).contains(j.pyatspi.STATE_FOCUSED))
    j.type_text("0912000101;0912000102")
    for _ in range(SEND.index("訊息內容")):
        j.key("Tab")
    message = j.control(dialog, "text", "訊息內容")
    wait_for("Tab to reach the message", lambda: j._states(message).contains(j.pyatspi.STATE_FOCUSED))
    j.key("ctrl+a")
    j.type_text("keys only")
    j.key("Return")
    j.type_text("line two")
    wait_for("Return to break the message's line", lambda: j.edit_text(message) == "keys only\nline two")
    check(j.window_titles().count("作業進度") == 0, "Return in the message sent it")
    for _ in range(len(SEND) - SEND.index("訊息內容")):
        j.key("Tab")
    wait_for("Tab round to the recipients", lambda: j._states(recipients).contains(j.pyatspi.STATE_FOCUSED))
    j.key("Return")
    j.window("傳送前確認", "dialog")
    j.key("Return")  # 傳送, the summary's default
    j.window_gone("傳送前確認")
    j.message_box("要清除現有的傳送紀錄？")
    j.key("n")  # 否(N): the loaded row stays
    progress = j.window("作業進度", "dialog")
    wait_for("the send's end", lambda: any(t.startswith("簡訊傳送完成") for t in j.texts(progress)), 30)
    wait_for("確定 to take the keyboard",
             lambda: j._states(j.control(progress, "push button", "確定")).contains(j.pyatspi.STATE_FOCUSED))
    j.key("Return")
    j.window_gone("作業進度")
    j.window_gone("發送訊息")
    check(j.edit_text(recipients) == "", "the recipient field kept a line after the send")
    sent = sorted(r.split(" ")[0] for r in j.gateway_requests("send"))
    check(len(sent) == 2, f"the gateway got {j.gateway_requests('send')}")
    rows = j.wait_rows("the two rows sent", lambda rows: len(rows) == 3)
    # The list shows the message's line break as a space.
    check(sorted(r[1] for r in rows if r[7].split() == ["keys", "only", "line", "two"]) == ["0912000101", "0912000102"],
          f"the send log shows {rows}")


def keyboard_journey(j):
    j.start_gateway()
    j.write_config()
    log = os.path.join(j.dir, "one.log")
    write_log(log, [{"name": "王小明", "mobile": "0912000001", "time": "20240301093000", "code": "0",
                     "result": "訊息已成功送出(MsgId:1)", "content": "hi"}])
    source = os.path.join(j.dir, "book.csv")
    with open(source, "w", encoding="utf-8") as f:
        f.write("名稱,行動電話,備註\nAnn,0912000201,x\n")
    j.start_program()
    j.load_log(log, 1)
    j.click_at(*j.row_point(0))  # a selected row: the content viewer has something to show

    for title, opener, expected, escape in DIALOGS:
        if opener is not None:
            opener(j)
        if expected:
            walk(j, title, expected)
        if escape:
            close_with_escape(j, title)
    j.screenshot("walked")

    send_with_keys_alone(j)
    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "否")
    check(j.wait_program_end() == 0, "norvi-sms did not end with status 0")


if __name__ == "__main__":
    journey.run(keyboard_journey)
