"""A recipient list kept in a workbook (.xlsx, made by another program) is chosen with 上載... in the send
dialog and sent as 替代簡訊: the numbers come from column A (a number cell given back its leading 0), the
values for $1$ and $2$ from the next columns, and the gateway gets exactly one send per row."""

import os

import openpyxl

import journey
from journey import check
from send_list_journey import TEMPLATE, upload_list



def sheet_list_journey(j):
    j.start_gateway()
    j.write_config()
    path = os.path.join(j.dir, "bill.xlsx")
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.append(["行動電話", "姓名", "金額"])
    sheet.append(["0922000001", "王小明", "1,200"])
    sheet.append([922000002, "陳美麗", 800])  # number cells, as a spreadsheet keeps typed numbers
    book.save(path)
    j.start_program()

    dialog = upload_list(j, path)
    j.press(dialog, "傳送")
    j.confirm_summary()
    j.confirm_progress("簡訊傳送完成：成功 2 筆，失敗 0 筆")
    j.window_gone("發送訊息")

    sends = j.gateway_requests("send")
    check(len(sends) == 2, f"the gateway got these sends: {sends}")
    rows = j.wait_rows("the two rows", lambda rows: len(rows) == 2)
    texts = sorted((r[1], r[7]) for r in rows)
    check(texts == [("0922000001", "Dear 王小明, your bill is 1,200 dollars."),
                    ("0922000002", "Dear 陳美麗, your bill is 800 dollars.")],
          f"the rows hold {texts}")


if __name__ == "__main__":
    journey.run(sheet_list_journey)
