"""Messages sent earlier (by norvi-cli, with the same gateway) are loaded and queried from the send log's
pop-up menu on all rows; the answers land in the rows and every row's MsgId reached the gateway."""

import os
import re

import journey
from journey import check, wait_for


def query_journey(j):
    j.start_gateway("--deliver-after", "0")
    j.write_config()
    sent = os.path.join(j.dir, "sent.log")
    j.run_cli("send", "--text", "會議改到三點", "0912000001", "0912000002", "0912000003", "--log", sent)
    msg_ids = sorted(re.search(r"MsgId:([^)]+)", row[4]).group(1) for row in journey.read_log(sent))
    check(len(msg_ids) == 3, f"norvi-cli did not send three messages: {journey.read_log(sent)}")
    j.start_program()

    j.load_log(sent, 3)

    # A right click below the rows leaves none selected: the query covers all of them.
    j.popup_below_rows("查詢(Q)")
    j.confirm_progress("簡訊查詢完成，查詢 3 筆：有回覆 3 筆（已送達 3 筆）、未能查詢 0 筆")
    rows = j.wait_rows("every row answered", lambda rows: all(r[5] == "0" for r in rows))
    for r in rows:
        check(r[6].startswith("訊息已送達對方"), f"row {r[1]} shows the query result {r[6]!r}")
    asked = sorted(line.split(" ", 1)[0] for line in j.gateway_requests("query"))
    check(asked == msg_ids, f"the gateway was asked about {asked}, the rows hold {msg_ids}")


if __name__ == "__main__":
    journey.run(query_journey)
