#include "core/sendlog/FileOrderJobRows.h"
#include "support/CliFixture.h"
#include "support/FileBytes.h"

#include <QFileInfo>

namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::readLog;
using test::reservationTime;
using test::says;
using test::saysNot;
using test::textList;

TEST_F(CliTest, SendToTypedNumbersPrintsTheRowsAndSavesALogTheDesktopReaderLoads) {
    const QString log = path("typed.log");
    const CliRun r = run({"send", "--text", QStringLiteral("Hello 世界"), "--log", log, "0912345678", "0922333444"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(column(rows, ColMobile), (std::set<QString>{QStringLiteral("0912345678"), QStringLiteral("0922333444")}));
    for (const QStringList& row : rows) {
        EXPECT_EQ(row[ColSendCode], QStringLiteral("0"));
        EXPECT_TRUE(row[ColSendResult].startsWith(QStringLiteral("訊息已成功送出(MsgId:")))
            << row[ColSendResult].toStdString();
        EXPECT_EQ(row[ColContent], QStringLiteral("Hello 世界"));
        EXPECT_EQ(row[ColSendTime].size(), 14);
    }
    EXPECT_TRUE(r.out.contains(QStringLiteral("狀態：簡訊傳送完成")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("完成：2 / 2(100%)")));
    EXPECT_EQ(sendRequests(), 2);

    // The desktop program loads a ".log" through the same reader into its model: same rows, same order.
    const std::vector<SendLogRow> saved = readLog(log);
    ASSERT_EQ(saved.size(), 2u);
    SendLogModel model;
    model.columnClick(ColName);
    int read = 0;
    ASSERT_TRUE(loadLogFile(log, model, &read));
    ASSERT_EQ(read, 2);
    for (int i = 0; i < 2; ++i) {
        for (int c = 0; c < kSendLogColumns; ++c) {
            EXPECT_EQ(fromBig5(saved[i].texts[c]), rows[i][c]) << i << "," << c;
            EXPECT_EQ(model.text(i, c), saved[i].texts[c]) << i << "," << c;
        }
        EXPECT_EQ(saved[i].image, ImageTyped);
        EXPECT_EQ(saved[i].codeImage, ImageNone);
    }

    // The summary went to the day's operation log, as the progress window writes it.
    const QStringList dbg = QDir(path("logfiles")).entryList({QStringLiteral("*.dbg")});
    ASSERT_EQ(dbg.size(), 1);
    QFile opLog(QDir(path("logfiles")).filePath(dbg.first()));
    ASSERT_TRUE(opLog.open(QIODevice::ReadOnly));
    const QString opText = fromBig5(opLog.readAll());
    EXPECT_TRUE(opText.contains(QStringLiteral("簡訊傳送完成")));
    EXPECT_TRUE(opText.contains(QStringLiteral("start")));
}

TEST_F(CliTest, SendWithoutLogOptionSavesATimeStampedLogInTheLogFolderWithoutOverwriting) {
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(run({"send", "--text", "hi", "0912345678"}).exitCode, 0);
    const QStringList logs = QDir(path("logfiles")).entryList({QStringLiteral("*.log")});
    EXPECT_EQ(logs.size(), 2) << logs.join(QLatin1Char(' ')).toStdString();
    for (const QString& name : logs)
        EXPECT_EQ(readLog(QDir(path("logfiles")).filePath(name)).size(), 1u) << name.toStdString();
}

TEST_F(CliTest, SendToNamedMemberAndNestedGroupUsesDefaultNumbersOnce) {
    book.putMember(test::member(1, big5("王小明"), "0911000001;@0911000002"));
    book.putMember(test::member(2, big5("陳美麗"), "0922000002"));
    book.putMember(test::member(3, big5("林志成"), "0933000003"));
    sGroup head = test::group(-1, {{0, 2}, {1, -2}});
    putField(head.name, big5("總公司"));
    sGroup sales = test::group(-2, {{0, 3}, {5, 1}});
    putField(sales.name, big5("業務部"));
    book.putGroup(head);
    book.putGroup(sales);
    ASSERT_TRUE(SaveAddressBook(book, path("AddressBook.bin")).ok);

    const CliRun one = run({"send", "--text", "hi", "--log", path("one.log"), QStringLiteral("=王小明")});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    ASSERT_EQ(one.rows().size(), 1);
    EXPECT_EQ(one.rows()[0][ColName], QStringLiteral("王小明"));
    EXPECT_EQ(one.rows()[0][ColMobile], QStringLiteral("0911000002"));
    EXPECT_EQ(readLog(path("one.log")).at(0).image, ImageMember);

    // The member named directly and again inside the nested group gets one message.
    const CliRun group =
        run({"send", "--text", "hi", "--log", path("group.log"), QStringLiteral("=王小明"), QStringLiteral("=總公司")});
    ASSERT_EQ(group.exitCode, 0) << group.err.toStdString();
    const auto rows = group.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(column(rows, ColMobile), (std::set<QString>{QStringLiteral("0911000002"), QStringLiteral("0922000002"),
                                                          QStringLiteral("0933000003")}));
    EXPECT_EQ(column(rows, ColName),
              (std::set<QString>{QStringLiteral("王小明"), QStringLiteral("陳美麗"), QStringLiteral("林志成")}));
}

TEST_F(CliTest, ListFileRowsGetTheirPlaceholdersFilledWithReplace) {
    writeFile("list.txt",
              QStringLiteral("0911111111 $王小明$$1,200$\n0922222222\n\n0933333333,$陳美麗$$350$\n").toUtf8());
    const QString templ = QStringLiteral("親愛的$1$您好，金額$2$元");
    const QStringList args = test::textList(
        {"send", "--text", templ, "--list", path("list.txt"), "--replace", "--log", path("list.log"), "0900000000"});
    // A recipient without the values would get the template's marks: the run is refused, naming them.
    const CliRun refused = run(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(says(
        refused.err,
        QStringLiteral(
            "以下 2 位受訊者的訊息缺少替代欄位的值：0900000000 缺 $1$、$2$、第 2 行缺 $1$、$2$。沒有傳送任何簡訊")));
    EXPECT_FALSE(QFileInfo::exists(path("list.log")));
    EXPECT_TRUE(sentNumbers().empty());

    // Told to go on, they get the text with those fields empty.
    const CliRun r = run(QStringList(args) << QStringLiteral("--allow-empty-fields"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 4);
    std::map<QString, QString> contentByNumber;
    for (const QStringList& row : rows)
        contentByNumber[row[ColMobile]] = row[ColContent];
    const QString empty = QStringLiteral("親愛的您好，金額元");
    EXPECT_EQ(contentByNumber[QStringLiteral("0900000000")], empty);
    EXPECT_EQ(contentByNumber[QStringLiteral("0911111111")], QStringLiteral("親愛的王小明您好，金額1,200元"));
    EXPECT_EQ(contentByNumber[QStringLiteral("0922222222")], empty);
    EXPECT_EQ(contentByNumber[QStringLiteral("0933333333")], QStringLiteral("親愛的陳美麗您好，金額350元"));

    int listRows = 0;
    for (const SendLogRow& row : readLog(path("list.log")))
        listRows += row.image == ImageListRow ? 1 : 0;
    EXPECT_EQ(listRows, 3);
}

TEST_F(CliTest, Big5ListFileRowOwnTextIsSentAsItIsWithoutReplace) {
    writeFile("list.txt", big5("0911111111 $王小明$$1,200$\r\n"));
    const CliRun r = run({"send", "--text", "x $1$", "--list", path("list.txt"), "--big5", "--log", path("l.log")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(r.rows().size(), 1);
    EXPECT_EQ(r.rows()[0][ColContent], QStringLiteral("$王小明$$1,200$"));
}

TEST_F(CliTest, SendWithTheGatewayDownRecordsEveryFailureAndSaysSo) {
    const auto gone = test::StopAndHoldPort(sim); // nobody listens on the configured port any more
    const CliRun r = run({"-v", "send", "--text", "hi", "--log", path("down.log"), "0912000001", "0912000002"});
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_EQ(r.rows().size(), 2);
    for (const QStringList& row : r.rows())
        EXPECT_EQ(row[ColSendCode], QStringLiteral("-1"));
    EXPECT_EQ(readLog(path("down.log")).size(), 2u);
    // -v shows the message area: the worker's login failures are there.
    EXPECT_TRUE(says(r.err, QStringLiteral("Login to Server fail")));
}

// A gateway that answers in two parts with a long pause between them, the result code in the first part.
TEST_F(CliTest, RepliesPausedMidwayKeepRefusalsAndEachRowsOwnMsgId) {
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 1500));
    sim->failNextSends(6, 2);
    const QString log = path("paused.log");
    const CliRun r =
        run({"-v", "send", "--text", "hi", "--log", log, "0900000001", "0900000002", "0900000003", "0900000004"});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 4u);
    std::set<QByteArray> msgIds;
    int refused = 0;
    for (const SendLogRow& row : rows) {
        if (row.texts[ColSendCode] == "6") {
            ++refused;
            EXPECT_EQ(row.texts[ColSendResult], big5("接收手機號碼格式錯誤(refused (fault))"));
            continue;
        }
        EXPECT_EQ(row.texts[ColSendCode], "0");
        const QByteArray result = row.texts[ColSendResult];
        ASSERT_TRUE(result.startsWith(big5("訊息已成功送出(MsgId:"))) << fromBig5(result).toStdString();
        msgIds.insert(result.mid(result.indexOf(':') + 1).chopped(1));
    }
    EXPECT_EQ(refused, 2);
    ASSERT_EQ(msgIds.size(), 2u);
    for (const QByteArray& id : msgIds)
        EXPECT_EQ(id.size(), 20) << id.constData();
    EXPECT_EQ(sim->connectionCount(), 3); // a new connection after each refusal, whose rest never came in time

    // Each MsgId is the gateway's own: queried without the pause, both are found.
    sim->setReplyPacing({});
    const CliRun queried = run({"query", "--log", log});
    ASSERT_EQ(queried.exitCode, 0) << queried.err.toStdString();
    for (const SendLogRow& row : readLog(log)) {
        if (row.texts[ColSendCode] == "0") {
            EXPECT_EQ(row.texts[ColQueryCode], "0") << fromBig5(row.texts[ColQueryResult]).toStdString();
        }
    }
}

// A text from the gateway or a damaged log may hold a terminal's escape sequence: a printed row writes it
// out instead of clearing the screen.
TEST_F(CliTest, PrintedRowsWriteControlCharactersOut) {
    const QString log = path("esc.log");
    SendLogRow row;
    row.image = ImageTyped;
    row.texts = {"", "0912345678", "20261201090000", "0", "(MsgId:A1)", "", "", "hi\x1b[2J\x07"};
    writeLog(log, {row});
    const CliRun r = run({"query", "--log", log});
    EXPECT_FALSE(r.stdoutBytes.contains('\x1b'));
    EXPECT_TRUE(says(r.out, QStringLiteral("\thi\\x1B[2J\\x07\n")));
}

TEST_F(CliTest, TrickledRepliesEndWithinTheReplyWaitAndItsRetry) {
    sim->setReplyPacing(gwsim::ReplyPacing::trickle(50)); // a whole reply would take 12 s
    const CliRun r = run({"-v", "--reply-wait", "1", "send", "--text", "hi", "--log", path("t.log"), "0912345678"});
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_EQ(r.rows().size(), 1);
    EXPECT_EQ(r.rows()[0][ColSendCode], QStringLiteral("-1"));
    EXPECT_EQ(r.rows()[0][ColSendResult], QStringLiteral("Recv()逾時"));
    EXPECT_TRUE(says(r.err, QStringLiteral("Login to Server fail, -1:Recv()逾時")));
    EXPECT_EQ(sim->connectionCount(), 2);

    runSteps({{textList({"--reply-wait=1", "login-test"}), 1, {}, {"Recv()逾時"}},
              {textList({"--reply-wait", "0", "login-test"}), 1}});
    EXPECT_EQ(sim->connectionCount(), 3); // a wait of 0 seconds is refused before anything connects
}

// Each refused run says the send dialog's message and leaves nothing: no row, no request, no log.
TEST_F(CliTest, SendIsRefusedWithTheDialogsMessageAndNothingSent) {
    // A member without a number and a list line without one leave nobody to send to.
    book.putMember(test::member(1, big5("無號碼"), ""));
    ASSERT_TRUE(SaveAddressBook(book, path("AddressBook.bin")).ok);
    writeFile("list.txt", " ,only a text\n");
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{}, "請選擇、上載或輸入受訊者！"}, // no recipient is said before the empty text
        {textList({"--text", "", "0912345678"}), "請輸入訊息內容！"},
        {textList({"0912345678"}), "請輸入訊息內容！"},
        {textList({"--text", QStringLiteral("請回電0912345678謝謝"), "0912345678"}),
         "簡訊內容包含電話號嗎，請用 '-' 符號分開才可正常傳送"},
        {textList({"--at", reservationTime(-600), "--text", "hi", "0912345678"}), "不可預約過去的時間！"},
        {textList({"--at", reservationTime(6 * 86400 + 3600), "--text", "hi", "0912345678"}), "預約傳送超過6天限制！"},
        {textList({"--at", "202402301200", "--text", "hi", "0912345678"}), "預約傳送時間格式錯誤！"},
        {textList({"--limit", "1441", "--text", "hi", "0912345678"}), "訊息截止時間超過24小時！"},
        {textList({"--limit", "100000", "--text", "hi", "0912345678"}), "訊息截止時間超過24小時！"},
        {textList({"--limit", "0", "--text", "hi", "0912345678"}), "選項 --limit 需要 1 到 1440 的分鐘數：0"},
        {textList({"--text", QStringLiteral("hi 😀"), "0912345678"}), "無法以Big5碼表示"},
        {textList({"--text", QStringLiteral("hi\x01"), "0912345678"}), "第 3 個字是看不見的控制字元（U+0001）"},
        {textList({"--text", "hi", QStringLiteral("=無此人")}), "無此人"},
        {textList({"--text", "hi", QString(40, QLatin1Char('9'))}), "受訊者號碼過長"},
        {textList({"--text", "hi", "--list", path("list.txt"), QStringLiteral("=無號碼")}),
         "沒有任何受訊者有可傳送的電話號碼"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(textList({"send"}) + c.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(says(r.err, QString::fromUtf8(c.message)));
        EXPECT_TRUE(r.rows().isEmpty());
        EXPECT_TRUE(saysNot(r.out, QStringLiteral("完成：")));
        EXPECT_TRUE(sim->requests().empty());
        EXPECT_TRUE(QDir(path("logfiles")).entryList({QStringLiteral("*.log")}).isEmpty());
    }
}

TEST_F(CliTest, CancelAndQueryOverASavedLogUpdateTheChosenRows) {
    const QString log = path("booked.log");
    const CliRun sent =
        run({"send", "--at", reservationTime(86400), "--text", "later", "--log", log, "0912000001", "0912000002"});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    const std::vector<SendLogRow> booked = readLog(log);
    ASSERT_EQ(booked.size(), 2u);
    EXPECT_EQ(booked[0].codeImage, ImageReservation);

    const CliRun cancelled = run({"cancel", "--log", log, "--rows", "1"});
    ASSERT_EQ(cancelled.exitCode, 0) << cancelled.err.toStdString();
    ASSERT_EQ(cancelled.rows().size(), 2);
    EXPECT_EQ(cancelled.rows()[1][ColQueryCode], QStringLiteral("0"));
    EXPECT_TRUE(cancelled.rows()[1][ColQueryResult].startsWith(QStringLiteral("取消成功")));
    EXPECT_TRUE(cancelled.rows()[0][ColQueryCode].isEmpty());
    EXPECT_TRUE(cancelled.out.contains(QStringLiteral("預約簡訊取消完成")));

    // Written back in place, rows where they were.
    const std::vector<SendLogRow> afterCancel = readLog(log);
    ASSERT_EQ(afterCancel.size(), 2u);
    EXPECT_EQ(afterCancel[0].texts[ColMobile], booked[0].texts[ColMobile]);
    EXPECT_EQ(afterCancel[1].texts[ColQueryCode], "0");

    // All rows, written elsewhere: the waiting reservation and the cancelled one answer differently.
    const QString out = path("queried.log");
    const CliRun queried = run({"query", "--log", log, "--out", out});
    ASSERT_EQ(queried.exitCode, 0) << queried.err.toStdString();
    const std::vector<SendLogRow> result = readLog(out);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].texts[ColQueryCode], "20");
    EXPECT_EQ(result[1].texts[ColQueryCode], "21");
    EXPECT_EQ(readLog(log)[0].texts[ColQueryCode], QByteArray()); // the input file is left alone
}

TEST_F(CliTest, RowCommandsRefuseBadInputWithoutTouchingTheLog) {
    const QString log = path("two.log");
    ASSERT_EQ(run({"send", "--text", "hi", "--log", log, "0912000001", "0912000002"}).exitCode, 0);
    const QByteArray before = test::readAll(log);
    // A file cut short is read as far as it goes but not overwritten.
    const QByteArray cut = before.left(before.size() - 10);
    test::writeAll(path("cut.log"), cut);
    runSteps({
        {textList({"query", "--log", log, "--rows", "0,2"}), 1, {"列號 2 超出範圍"}},
        {textList({"query", "--log", log, "--rows", "a"}), 1},
        {textList({"query"}), 1},
        {textList({"cancel", "--log", path("missing.log")}), 1},
        {textList({"query", "--log", path("cut.log")}), 1, {"不完整"}},
    });
    EXPECT_EQ(test::readAll(log), before);
    EXPECT_EQ(test::readAll(path("cut.log")), cut);
}

TEST_F(CliTest, ResendSendsOnlyFailedRowsAndAppendsThem) {
    sim->failNextSends(10, 1);
    const QString log = path("failed.log");
    const CliRun first = run({"send", "--text", "hi", "--log", log, "0912000001", "0912000002"});
    ASSERT_EQ(first.exitCode, 2) << first.err.toStdString();
    const std::vector<SendLogRow> before = readLog(log);
    ASSERT_EQ(before.size(), 2u);
    const int failed = before[0].texts[ColSendCode] == "10" ? 0 : 1;
    ASSERT_EQ(before[failed].texts[ColSendCode], "10");

    const CliRun resent = run({"resend", "--log", log});
    ASSERT_EQ(resent.exitCode, 0) << resent.err.toStdString();
    const std::vector<SendLogRow> after = readLog(log);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].texts, before[0].texts);
    EXPECT_EQ(after[1].texts, before[1].texts);
    EXPECT_EQ(after[2].texts[ColMobile], before[failed].texts[ColMobile]);
    EXPECT_EQ(after[2].texts[ColSendCode], "0");
    EXPECT_EQ(resent.rows().size(), 3);

    runSteps({{textList({"resend", "--log", log, "--rows", "2"}), 0, {}, {"沒有確定失敗的訊息需要重新傳送！"}}});
    EXPECT_EQ(readLog(log).size(), 3u);
}

TEST_F(CliTest, Log2csvOpensInACsvReaderWithTheEightColumns) {
    const QString text = QStringLiteral("您好, \"朋友\"");
    ASSERT_EQ(run({"send", "--text", text, "--log", path("csv.log"), "0912000001"}).exitCode, 0);

    const CliRun utf8 = run({"log2csv", path("csv.log")});
    ASSERT_EQ(utf8.exitCode, 0) << utf8.err.toStdString();
    ASSERT_TRUE(utf8.stdoutBytes.startsWith("\xEF\xBB\xBF"));
    const auto table = test::readCsv(utf8.stdoutBytes.mid(3));
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.records.size(), 2);
    ASSERT_EQ(table.records[0].size(), kSendLogColumns);
    ASSERT_EQ(table.records[1].size(), kSendLogColumns);
    EXPECT_EQ(QString::fromUtf8(table.records[0][ColMobile]), QStringLiteral("行動電話"));
    EXPECT_EQ(QString::fromUtf8(table.records[0][ColContent]), QStringLiteral("訊息內容"));
    EXPECT_EQ(table.records[1][ColMobile], "0912000001");
    EXPECT_EQ(table.records[1][ColSendCode], "0");
    EXPECT_EQ(QString::fromUtf8(table.records[1][ColContent]), text);

    const CliRun big5Csv = run({"log2csv", path("csv.log"), "--big5"});
    ASSERT_EQ(big5Csv.exitCode, 0);
    const auto big5Table = test::readCsv(big5Csv.stdoutBytes);
    ASSERT_TRUE(big5Table.ok);
    ASSERT_EQ(big5Table.records.size(), 2);
    EXPECT_EQ(big5Table.records[0][ColName], big5("名稱"));
    EXPECT_EQ(big5Table.records[1][ColContent], big5(text));
}

// The rows go out as they are read; a record that is no row, even far past the first megabyte of output,
// still refuses the file before any of it is written.
TEST_F(CliTest, Log2csvWritesNothingOfAFileRefusedAtItsLastRecord) {
    constexpr int kRows = 20000;
    FileOrderJobRows log;
    SendLogRow row;
    row.image = ImageTyped;
    for (int i = 0; i < kRows; ++i) {
        row.texts = {"name", "0912" + QByteArray::number(100000 + i), "20240102030405", "0", "ok", "", "", "text"};
        log.append(row);
    }
    ASSERT_TRUE(log.save(path("long.log")));
    const CliRun whole = run({"log2csv", path("long.log")});
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    EXPECT_EQ(test::readCsv(whole.stdoutBytes.mid(3)).records.size(), kRows + 1);

    QByteArray bytes = test::readAll(path("long.log"));
    bytes[qsizetype(4 + (kRows - 1) * sizeof(sLogRecord))] = 0; // the last record's image
    test::writeAll(path("long.log"), bytes);
    const CliRun refused = run({"log2csv", path("long.log")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.stdoutBytes.isEmpty());
    EXPECT_TRUE(says(refused.err, QStringLiteral("第 %1 筆紀錄").arg(kRows)));
}

TEST_F(CliTest, Log2csvGuardsFormulaCellsUnlessRawAndRefusesAFileThatIsNoSendLog) {
    FileOrderJobRows log;
    SendLogRow row;
    row.texts = {"=HYPERLINK(1)", "+886912345678", "20240102030405", "-1", "@SUM(A1)", "", "", "-2+3"};
    row.image = ImageTyped;
    log.append(row);
    ASSERT_TRUE(log.save(path("formula.log")));

    const auto cells = [](const CliRun& r) { return test::readCsv(r.stdoutBytes.mid(3)).records.value(1); };
    const CliRun safe = run({"log2csv", path("formula.log")});
    ASSERT_EQ(safe.exitCode, 0) << safe.err.toStdString();
    EXPECT_EQ(cells(safe), (QList<QByteArray>{"'=HYPERLINK(1)", "+886912345678", "20240102030405", "-1", "'@SUM(A1)",
                                              "", "", "'-2+3"}));
    const CliRun raw = run({"log2csv", path("formula.log"), "--raw"});
    ASSERT_EQ(raw.exitCode, 0);
    EXPECT_EQ(cells(raw), QList<QByteArray>(row.texts.begin(), row.texts.end()));

    QByteArray bytes = test::readAll(path("formula.log"));
    bytes[4] = 0; // an image no row has
    test::writeAll(path("formula.log"), bytes);
    const CliRun refused = run({"log2csv", path("formula.log")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.stdoutBytes.isEmpty());
    EXPECT_TRUE(says(refused.err, QStringLiteral("不是發訊紀錄檔：第 1 筆紀錄的圖示代碼 0 不明。")));
    runSteps({{textList({"query", "--log", path("formula.log")}), 1, {"不是發訊紀錄檔"}}});
    EXPECT_EQ(test::readAll(path("formula.log")), bytes) << "a refused file is never written back";
}

TEST_F(CliTest, SingleQueryAndCancelByMsgIdPrintTheResultBox) {
    ASSERT_EQ(run({"send", "--text", "hi", "--log", path("one.log"), "0912000001"}).exitCode, 0);
    const QByteArray result = readLog(path("one.log")).at(0).texts[ColSendResult];
    const QString msgId = fromBig5(result).section(QStringLiteral("MsgId:"), 1).section(QLatin1Char(')'), 0, 0);
    ASSERT_FALSE(msgId.isEmpty());

    const CliRun delivered = run({"query-id", msgId});
    EXPECT_EQ(delivered.exitCode, 0) << delivered.err.toStdString();
    EXPECT_TRUE(delivered.out.startsWith(QStringLiteral("結果碼：0\n查詢結果："))) << delivered.out.toStdString();

    const CliRun unknown = run({"query-id", "NOSUCHID"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.startsWith(QStringLiteral("結果碼：2\n")));

    // A message sent at once is no reservation, so it cannot be cancelled.
    const CliRun cancel = run({"cancel-id", msgId});
    EXPECT_EQ(cancel.exitCode, 2);
    EXPECT_TRUE(cancel.out.startsWith(QStringLiteral("預約取消碼：1\n預約取消結果：")));

    // Each answer is in the day's operation log, as a row's answer of a list query is.
    const QStringList dbg = QDir(path("logfiles")).entryList({QStringLiteral("*.dbg")});
    ASSERT_EQ(dbg.size(), 1);
    const QString opLog = fromBig5(readBytes(QString(QStringLiteral("logfiles/") + dbg.first())));
    for (const QString& line :
         {QStringLiteral(" MsgId:%1 查詢結果: 0, ").arg(msgId), QStringLiteral(" MsgId:NOSUCHID 查詢結果: 2, "),
          QStringLiteral(" MsgId:%1 預約取消結果: 1, ").arg(msgId)})
        EXPECT_EQ(opLog.count(line), 1) << line.toStdString() << opLog.toStdString();

    // A MsgId longer than the request carries would ask about another message: refused before connecting.
    const QString tooLongId = msgId + QString(21, QLatin1Char('0'));
    const CliRun tooLong = run({"query-id", tooLongId});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_TRUE(says(tooLong.err, QStringLiteral("MsgId最長20個英數字")));
}

TEST_F(CliTest, SegmentPrintsTheCountAndEachStoredSegment) {
    const CliRun single = run({"segment", "--text", QStringLiteral("短訊")});
    ASSERT_EQ(single.exitCode, 0);
    EXPECT_EQ(single.out, QStringLiteral("1\n短訊\n"));

    writeFile("long.txt", QByteArray(200, 'a') + "\n");
    const CliRun cut = run({"segment", "--text-file", path("long.txt")});
    ASSERT_EQ(cut.exitCode, 0) << cut.err.toStdString();
    const QStringList lines = cut.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("2"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1/2-")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2/2-")));
    EXPECT_EQ(lines[1].size() - 4 + lines[2].size() - 4, 200); // the file's line end is not part of the text
    EXPECT_TRUE(cut.err.isEmpty()) << cut.err.toStdString();
    const CliRun tooLong = run({"segment", "--text", QStringLiteral("a").repeated(1000)});
    EXPECT_TRUE(says(tooLong.err, QStringLiteral("總共需要 6 通簡訊，超過的 70 個字不會送出")));

    writeFile("big5.txt", big5("中文"));
    EXPECT_EQ(run({"segment", "--text-file", path("big5.txt")}).exitCode, 1); // not UTF-8
    EXPECT_EQ(run({"segment", "--text-file", path("big5.txt"), "--big5"}).out, QStringLiteral("1\n中文\n"));

    // A file's line ends are line feeds of the message, as the send dialog's field has them: 34 + 1 + 35
    // characters fit one short message, which a CR LF would make two.
    const QString lines70 = QString(34, QChar(u'中')) + QStringLiteral("\\n") + QString(35, QChar(u'中')) + u'\n';
    writeFile("crlf.txt", (QString(34, QChar(u'中')) + QStringLiteral("\r\n") + QString(35, QChar(u'中'))).toUtf8());
    EXPECT_EQ(run({"segment", "--text-file", path("crlf.txt")}).out, QStringLiteral("1\n") + lines70);
    writeFile("cr.txt", big5(QString(34, QChar(u'中')) + u'\r' + QString(35, QChar(u'中')) + QStringLiteral("\r\n")));
    EXPECT_EQ(run({"segment", "--text-file", path("cr.txt"), "--big5"}).out, QStringLiteral("1\n") + lines70);
}

// A text past six short messages is still sent, cut after the sixth, and standard error says so: for the
// typed message, and for list rows whose own text (the second column, or the message with their values) is too long.
TEST_F(CliTest, SendWarnsOfTextsCutAfterSixShortMessagesAndStillSends) {
    writeFile("list.txt",
              "0912000010,short\n0912000011," + QByteArray(950, 'b') + "\n0912000012," + QByteArray(950, 'c') + "\n");
    writeFile("values.txt", "0912000020,$" + QByteArray(700, 'n') + "$\n0912000021,$Ann$\n");
    writeFile("short.txt", "0912000030,hello\n0912000031\n");
    // A line that begins with a space or a comma has no number: never sent, so named like the dialog names it.
    writeFile("nonumber.txt", ",0912000050 hi\n0912000051\n" + QByteArray(" 0912000052\n").repeated(11));
    const QStringList tooLong =
        textList({"--text", QStringLiteral("a").repeated(1000), "--list", path("list.txt"), "0912000099"});
    const std::vector<test::TestText> cutWarnings = {
        "總共需要 6 通簡訊，超過的 70 個字不會送出\n",
        "2 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 2 行\n"};
    const QString template300 = QStringLiteral("Dear $1$, ") + QString(300, QLatin1Char('m'));
    runSteps({
        // The dry run warns as the run it previews does; the list rows are a line of its summary, said once.
        {textList({"send", "--dry-run"}) + tooLong,
         0,
         {cutWarnings[0]},
         {cutWarnings[1]},
         -1,
         {QStringLiteral("超過的部分不會送出")}},
        {textList({"send", "--dry-run", "--json"}) + tooLong, 0, cutWarnings},
        // Every recipient gets the first six short messages.
        {textList({"send", "--log", path("cut.log")}) + tooLong, 0, cutWarnings, {}, 6 + 1 + 6 + 6},
        // Only a row's text with its values is too long; the template itself fits.
        {textList({"send", "--text", template300, "--replace", "--list", path("values.txt"), "--log", path("f.log")}),
         0,
         {"1 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 1 行\n"},
         {},
         -1,
         {"總共需要"}},
        {textList({"send", "--text", "hi", "--list", path("short.txt"), "--log", path("fits.log")}),
         0,
         {},
         {},
         -1,
         {"超過", "沒有電話號碼"}},
        {textList({"send", "--text", "hi", "--list", path("nonumber.txt"), "--log", path("nonumber.log")}),
         0,
         {"發訊名單第 1、3、4、5、6、7、8、9、10、11 行等共 12 行沒有電話號碼，這些行不會傳送。\n",
          "收訊人 1 位、共 1 通簡訊\n"}},
    });

    // A line past 64 KB is cut as it is read, named once though the file is read three times.
    writeFile("long.txt", "0912000040,$" + QByteArray(100 * 1024, 'x') + "$\n0912000041\n");
    const CliRun longLine = run({"send", "--text", "hi", "--list", path("long.txt"), "--log", path("long.log")});
    EXPECT_EQ(longLine.exitCode, 0) << longLine.err.toStdString();
    EXPECT_EQ(longLine.err.count(QStringLiteral("發訊名單第 1 行超過 64 KB，超過的部分未讀取。\n")), 1)
        << longLine.err.toStdString();
}

// Short commands and what they answer; a wrong password or a run without its configuration is refused
// before anything is sent.
TEST_F(CliTest, CommandsAnswerWithTheirTextsAndExitCodes) {
    writeFile("list.txt", QStringLiteral("0911111111 $小明😀$\n").toUtf8());
    QTemporaryDir empty;
    runSteps({
        // Refused before anything connects: a character without Big5, a start folder without its settings.
        {textList({"send", "--text", "x $1$", "--list", path("list.txt")}), 1, {"😀"}},
        {textList({"-C", empty.path(), "send", "--text", "hi", "0912345678"}),
         1,
         {"讀取設定檔錯誤，請重新執行設定功能"}},
    });
    EXPECT_TRUE(sim->requests().empty());
    runSteps({
        {textList({"login-test"}), 0, {}, {"帳號/密碼檢查成功"}},
        {textList({"--help"}),
         0,
         {},
         {"login-test", "send", "query", "cancel", "query-id", "cancel-id", "resend", "log2csv", "report", "segment"}},
        {textList({"send", "--help"}), 0, {}, {"--text-file"}},
        {textList({"send", "--bogus"}), 1},
        {textList({"frobnicate"}), 1},
    });
    writeConfig("wrong");
    const CliRun refused = run({"login-test"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(saysNot(refused.out, QStringLiteral("帳號/密碼檢查成功")));
    EXPECT_FALSE(refused.out.trimmed().isEmpty());
}

TEST_F(CliTest, SendRefusesRecipientsThatAreNoNumberUnlessAllowed) {
    writeFile("list.txt", "0912000001\nabc,hi\n\n\t+12\n");
    const QString ones20 = QStringLiteral("1").repeated(20);
    const QString ones21 = ones20 + QStringLiteral("1");
    struct Case {
        QStringList args;
        QString refusal; // empty: not refused
        int exitCode;    // of the run that is sent (with --allow-odd-numbers when refused without it)
    };
    // The gateway itself takes "+12" and more than ten digits as international numbers, but refuses "123" and
    // "abc" as domestic ones: such runs end with 2.
    const Case cases[] = {
        {textList({"0912345678", "+886912345678", "886912345678"}), QString(), 0},
        {textList({"123", ones20}), QString(), 2},
        {textList({"+12"}), QStringLiteral("以下 1 筆不是手機門號：+12。"), 0},
        // A number written with a dash is a number (sent without it).
        {textList({" 12", "0912-345678", ones21}), QStringLiteral("以下 2 筆不是手機門號：12、%1。").arg(ones21), 2},
        {textList({"x", "--list", path("list.txt")}),
         QStringLiteral("以下 3 筆不是手機門號：x、第 2 行 abc、第 4 行 +12。"), 2},
        {textList({"a", "b", "c", "d", "e", "f"}), QStringLiteral("以下 6 筆不是手機門號：a、b、c、d、e…。"), 2},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const QString log = path(QStringLiteral("odd%1.log").arg(round++));
        const int before = sendRequests();
        const CliRun plain = run(textList({"send", "--text", "hi", "--log", log}) + c.args);
        if (!c.refusal.isEmpty()) {
            EXPECT_EQ(plain.exitCode, 1);
            EXPECT_TRUE(plain.err.contains(c.refusal + QStringLiteral("沒有傳送任何簡訊；")) &&
                        plain.err.contains(QStringLiteral("--allow-odd-numbers")))
                << plain.err.toStdString();
            EXPECT_EQ(sendRequests(), before);
            const QString name = QFileInfo(log).fileName();
            EXPECT_EQ(QDir(m_dir.path()).entryList({name + QStringLiteral("*")}),
                      QStringList{name + QStringLiteral(".lock")})
                << "no log, no .partial";
        }
        const CliRun sent = c.refusal.isEmpty()
                                ? plain
                                : run(textList({"send", "--text", "hi", "--allow-odd-numbers", "--log", log}) + c.args);
        EXPECT_EQ(sent.exitCode, c.exitCode) << sent.err.toStdString();
        EXPECT_GT(sendRequests(), before);
    }
}

} // namespace
} // namespace norvi
