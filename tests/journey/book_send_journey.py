"""Sends from the address book: 通訊錄 → a member → 動作 → 發訊 → 傳送 runs under the progress window above
the book; its 確定 closes the send dialog and the book is usable again. Then 結束 → 要儲存？ 是 → the save
dialog: the log is written and the process ends with status 0."""

import os

import journey
from adrbk_journey import click_row, window_menu
from journey import check, read_log, wait_for
from send_journey import write_book

MESSAGE = "Book send"


def book_send_journey(j):
    j.start_gateway("--split-replies")
    j.write_config()
    write_book(os.path.join(j.start_dir, "AddressBook.bin"))
    j.start_program()

    j.click(j.control(j.main_window(), "push button", "通訊錄"))
    book = j.window("通訊錄", "dialog")
    j.control(j.control(book, "tree", "群組"), "table cell", "我的連絡人")
    click_row(j, j.control(book, ("tree", "table", "list"), "連絡人"), "Ann Lee")
    window_menu(j, book, "動作(A)", "發訊(S)")

    dialog = j.window("發送訊息", "dialog")
    recipients = j.control(dialog, "text", "受訊者")
    wait_for("the member in the recipient field", lambda: j.edit_text(recipients) == "Ann Lee; ")
    j.fill(j.control(dialog, "text", "訊息內容"), MESSAGE)
    j.press(dialog, "傳送")
    j.confirm_summary()
    j.screenshot("book-send-progress")
    # The send dialog keeps its place under the progress window until the run's end is confirmed.
    j.confirm_progress("簡訊傳送完成：成功 1 筆，失敗 0 筆")
    j.window_gone("發送訊息")

    sends = j.gateway_requests("send")
    check(len(sends) == 1 and sends[0].split(" ")[3] == "0933000003", f"the gateway got these sends: {sends}")
    # The book takes clicks again: its menus open and its commands run.
    book = j.window("通訊錄", "dialog")
    window_menu(j, book, "檢視(V)", "重新整理(R)")
    click_row(j, j.control(book, ("tree", "table", "list"), "連絡人"), "Ann Lee")
    window_menu(j, book, "檔案(F)", "結束(X)")
    j.window_gone("通訊錄")

    rows = j.wait_rows("the sent row", lambda rows: len(rows) == 1)
    check(rows[0][3] == "0" and rows[0][7] == MESSAGE, f"the row is {rows[0]}")
    saved = os.path.join(j.log_dir, "kept.log")
    j.menu("檔案(F)", "結束(X)")
    j.answer("現有的傳送紀錄已變更，要儲存？", "是")
    j.choose_file("儲存紀錄", saved)
    status = j.wait_program_end()
    check(status == 0, f"norvi-sms ended with status {status}")
    kept = read_log(saved)
    check(len(kept) == 1 and kept[0][7] == MESSAGE, f"the saved log holds {kept}")


if __name__ == "__main__":
    journey.run(book_send_journey)
