#include "core/workers/MessageHistory.h"

#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/StopRows.h"
#include "core/workers/UndeliveredList.h"
#include "support/CheckedModel.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include <functional>
#include <list>
#include <vector>

// The rows of one message read as its history: which earlier row each row stands for, what a resend takes
// from a log after resends that failed, stopped or went unanswered, and what the counts and a save make of it.
namespace norvi {
namespace {

struct Step {
    const char* mobile;
    Attempt attempt;
    quint32 run;
    qint64 standsFor; // the number of the earlier row, or -1
};

struct HistoryCase {
    const char* name;
    std::vector<Step> steps;
};

constexpr Attempt F = Attempt::Failed;
constexpr Attempt S = Attempt::Sent;
constexpr Attempt U = Attempt::Uncertain;
constexpr Attempt N = Attempt::Unknown;

TEST(MessageHistoryTest, ARowStandsForTheEarliestOpenHistoryOfItsMessage) {
    const HistoryCase cases[] = {
        {"resend after a failed resend, then a new send after the sent one",
         {{"A", F, 0, -1}, {"A", F, 0, 0}, {"A", S, 0, 1}, {"A", F, 0, -1}}},
        {"a stop's 未傳送 row and an unanswered row are still open", {{"A", F, 0, -1}, {"A", U, 0, 0}, {"A", S, 0, 1}}},
        {"a MsgId the gateway does not know is open", {{"A", N, 0, -1}, {"A", S, 0, 0}}},
        {"two copies in one run stay two messages, each resent once",
         {{"A", F, 1, -1}, {"A", F, 1, -1}, {"A", F, 2, 0}, {"A", S, 2, 1}, {"A", S, 3, 2}, {"A", S, 3, -1}}},
        {"read back from a file the two copies chain",
         {{"A", F, 0, -1}, {"A", F, 0, 0}, {"A", S, 0, 1}, {"A", S, 0, -1}}},
        {"a failed message before one that may have gone",
         {{"A", U, 1, -1}, {"A", F, 1, -1}, {"A", S, 2, 1}, {"A", S, 3, 0}}},
        {"other numbers are other messages", {{"A", F, 0, -1}, {"B", F, 0, -1}, {"B", S, 0, 1}, {"A", S, 0, 0}}},
    };
    for (const HistoryCase& c : cases) {
        MessageHistory history;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            EXPECT_EQ(history.add(s.mobile, "hi", s.attempt, s.run), s.standsFor) << c.name << ", row " << i;
        }
    }
    MessageHistory texts;
    texts.add("A", "hi", F);
    EXPECT_EQ(texts.add("A", "hello", F), -1) << "another text is another message";
}

TEST(MessageHistoryTest, WhatARowSaysToTheNextResend) {
    const struct {
        const char* sendCode;
        QByteArray sendResult;
        const char* queryCode;
        Attempt expected;
    } cases[] = {
        {"0", "ok(MsgId:1)", "", S},
        {"0", "ok(MsgId:1)", "4", S},
        {"0", "ok(MsgId:1)", "2", N},
        {"0", "ok(MsgId:1)", "16", F},
        {"11", "x", "", F},
        {"-1", StopRows::notSentText(), "", F},
        {"-1", StopRows::uncertainText("Recv()"), "", U},
        {"-1", StopRows::inFlightText(), "", U},
        {"", "", "", F},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AttemptOf(c.sendCode, c.sendResult, c.queryCode), c.expected)
            << c.sendCode << ' ' << c.sendResult.constData() << ' ' << c.queryCode;
}

SendLogRow row(const char* mobile, const QByteArray& sendCode, const QByteArray& sendResult,
               const QByteArray& queryCode = {}, const QByteArray& time = "20240301093000") {
    SendLogRow r;
    r.image = ImageTyped;
    r.texts = {"", mobile, time, sendCode, sendResult, queryCode, {}, "hi"};
    return r;
}

const QByteArray kSent = "ok(MsgId:M)";

// A row of a run booked for a later time: its 傳送時間 is that time, and its 傳送碼 carries the reservation image.
SendLogRow booked(SendLogRow r) {
    r.codeImage = ImageReservation;
    return r;
}

// The findings of a resend that sent messages again, each as a log read back from its file.
TEST(MessageHistoryTest, AResendTakesOnlyTheLatestRowOfEachMessage) {
    const struct {
        const char* name;
        std::vector<SendLogRow> rows;
        QVector<int> failed;
        QVector<int> uncertain;
        int resentBefore;
    } cases[] = {
        {"after a resend that failed again",
         {row("A", "11", "x"), row("B", "11", "x"), row("A", "11", "x"), row("B", "11", "x")},
         {2, 3},
         {},
         2},
        {"after a stopped resend",
         {row("A", "11", "x"), row("B", "11", "x"), row("C", "11", "x"), row("A", "0", kSent),
          row("B", "-1", StopRows::notSentText()), row("C", "-1", StopRows::notSentText())},
         {4, 5},
         {},
         3},
        {"after a resend that got no answer",
         {row("A", "-1", "x"), row("A", "-1", StopRows::cutSendText())},
         {},
         {1},
         1},
        {"a MsgId the gateway does not know, latest or answered",
         {row("A", "0", kSent, "2"), row("B", "0", kSent, "2"), row("B", "0", kSent)},
         {},
         {0},
         1},
        {"a sent message is never resent, a new send of it after is its own",
         {row("A", "0", kSent), row("A", "11", "x")},
         {1},
         {},
         0},
        // The rows a killed resend left, taken back at the next start, and then the log it resent loaded after
        // them: the older failed rows come last, yet the message went (or may have gone) later.
        {"a failed row older than a row that went or may have gone",
         {row("A", "0", kSent, {}, "20240302100000"), row("B", "-1", StopRows::inFlightText(), {}, "20240302100001"),
          row("C", "-1", StopRows::notSentText(), {}, "20240302100002"), row("A", "11", "x"), row("B", "11", "x"),
          row("C", "11", "x")},
         {5},
         {4, 3},
         2},
        // The same with a run booked for the morning after: its failed row's time is the booked one, later than
        // the resend that sent the message at once, and says nothing of which came first.
        {"a failed booked row loaded after the resend that sent it",
         {row("A", "0", kSent, {}, "20240302100000"), booked(row("A", "11", "x", {}, "20240303090000")),
          booked(row("B", "11", "x", {}, "20240303090000"))},
         {2},
         {1},
         0},
    };
    for (const auto& c : cases) {
        FileOrderJobRows log;
        for (const SendLogRow& r : c.rows)
            log.append(r);
        const ResendChoice choice = ChooseResendRows(log);
        EXPECT_EQ(choice.failed, c.failed) << c.name;
        EXPECT_EQ(choice.uncertain, c.uncertain) << c.name;
        EXPECT_EQ(choice.resentBefore, c.resentBefore) << c.name;
    }
}

// norvi-cli undelivered reads a log file twice and keeps no rows: a number a message from the first reading,
// the lines from the listed rows read again. Its list is the one the whole log gives, line for line, whatever
// classes are asked for; and a file written between the two readings gives no list.
TEST(MessageHistoryTest, TheUndeliveredListReadTwiceFromTheFileIsTheWholeLogsList) {
    const QByteArray later = "20240301100000";
    const auto named = [](SendLogRow r, const char* name) {
        r.texts[ColName] = big5(QString::fromUtf8(name));
        return r;
    };
    const struct {
        const char* name;
        std::vector<SendLogRow> rows;
    } cases[] = {
        {"a failed send resent and delivered, then the same text sent anew and failed",
         {row("A", "11", "x"), row("A", "0", kSent, "0", later), row("A", "11", "again")}},
        {"a resend that failed again speaks, at the place of the first send",
         {row("A", "0", kSent, "16"), row("B", "11", "x"), row("A", "-1", StopRows::notSentText(), {}, later)}},
        {"an unanswered send, then one not asked yet, then an unknown MsgId",
         {row("A", "-1", StopRows::uncertainText("Recv()")), row("A", "0", kSent), row("B", "0", kSent, "2"),
          row("B", "0", kSent, "16", later)}},
        {"two copies read back chain; a failure after a delivery is a message of its own",
         {named(row("A", "11", "x"), "王_x0041_明"), row("A", "11", "y"), row("A", "0", kSent, "4"),
          row("A", "11", "z")}},
        {"a reservation and other numbers", {booked(row("A", "0", kSent)), row("B", "11", "x"), row("C", "", "")}},
        {"no rows", {}},
    };
    const QList<QList<Delivery>> choices = {{Delivery::Failed},
                                            {Delivery::Uncertain},
                                            {Delivery::NotAsked},
                                            {Delivery::Failed, Delivery::Uncertain, Delivery::NotAsked}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rows.log"));
    const auto twoPasses = [&](const QList<Delivery>& classes, TextTable* table, const std::function<void()>& between) {
        LogFileReader reader(path);
        UndeliveredCollector collector(classes);
        SendLogRow read;
        EXPECT_TRUE(reader.open());
        while (reader.next(read))
            collector.add(read);
        between();
        table->header = UndeliveredHeader();
        const auto pass = collector.writeLines(reader, [table](const QStringList& line) {
            table->rows.push_back(line);
            return true;
        });
        return pass == UndeliveredCollector::Pass::Written && qint64(table->rows.size()) != collector.listedCount()
                   ? UndeliveredCollector::Pass::OutputFailed // a count that is not the list's
                   : pass;
    };
    bool listedAny = false;
    for (const auto& c : cases) {
        FileOrderJobRows log;
        LogFileWriter file(path);
        ASSERT_TRUE(file.open(qint32(c.rows.size())));
        for (const SendLogRow& r : c.rows) {
            log.append(r);
            file.write(r);
        }
        ASSERT_TRUE(file.commit());
        for (const QList<Delivery>& classes : choices) {
            const TextTable whole = UndeliveredTable(log, classes);
            TextTable streamed;
            EXPECT_EQ(twoPasses(classes, &streamed, [] {}), UndeliveredCollector::Pass::Written);
            EXPECT_EQ(streamed.header, whole.header);
            EXPECT_EQ(streamed.rows, whole.rows) << c.name << ", " << classes.size() << " classes";
            listedAny = listedAny || !whole.rows.empty();
        }
    }
    EXPECT_TRUE(listedAny);

    // The listed row is delivered by the time it is read again: the list would name a message that is not one.
    LogFileWriter file(path);
    ASSERT_TRUE(file.open(1));
    file.write(row("A", "11", "x"));
    ASSERT_TRUE(file.commit());
    TextTable table;
    const auto rewrite = [&] {
        QFile inPlace(path);
        ASSERT_TRUE(inPlace.open(QIODevice::ReadWrite));
        const sLogRecord record = toLogRecord(row("A", "0", kSent, "0", later));
        inPlace.seek(4);
        inPlace.write(reinterpret_cast<const char*>(&record), sizeof record);
    };
    EXPECT_EQ(twoPasses({Delivery::Failed}, &table, rewrite), UndeliveredCollector::Pass::LogChanged);
}

TEST(MessageHistoryTest, TheEndTextSaysWhatWasLeftOutAndWhy) {
    ResendChoice choice;
    EXPECT_EQ(ResendLeftOutText(choice, false), QString());
    choice.resentBefore = 5;
    choice.uncertain = {7, 8};
    EXPECT_EQ(ResendLeftOutText(choice, false), QStringLiteral("略過 7 筆：已重發過 5 筆，可能已送出 2 筆"));
    EXPECT_EQ(ResendLeftOutText(choice, true), QStringLiteral("略過 5 筆：已重發過 5 筆"));
}

// In the desktop's list, sorted by name: messages are read, queued and resent in the order their rows were
// added, and choosing an earlier row of a message selects the row that is resent.
TEST(MessageHistoryTest, TheListsSortNeitherJoinsNorOrdersHistories) {
    test::CheckedModel<SendLogModel> model;
    model.columnClick(ColName);
    QItemSelectionModel selection(&model);
    ModelJobRows log(model, selection);
    const auto add = [&](const char* name, const char* mobile, const QByteArray& code) {
        const quint64 id = log.addRow(name, ImageTyped, mobile, "20240301093000");
        log.fillSendResult(id, code, ImageNone, code == "0" ? kSent : QByteArray("x"), "hi");
    };
    add("z", "0912000001", "11");
    add("a", "0912000002", "11");
    add("z", "0912000001", "11"); // resent and failed again; lands beside the first
    ASSERT_EQ(log.row(0).texts[ColName], "a");

    JobRegistry jobs;
    std::list<sSendContent> queue;
    int queued = 0;
    QString leftOut;
    log.setSelectedRows({1}, true); // the first row of z
    QVector<int> resent;
    ASSERT_TRUE(QueueFailedRows(jobs, log, queue, &queued, nullptr, false, &leftOut, &resent));
    ASSERT_EQ(queued, 1);
    EXPECT_EQ(resent, QVector<int>{2}) << "the latest row of z, the one resent";
    log.selectExactly(resent);
    EXPECT_EQ(leftOut, QStringLiteral("略過 1 筆：已重發過 1 筆"));

    log.setSelectedRows({2}, false);
    ASSERT_TRUE(QueueFailedRows(jobs, log, queue, &queued, nullptr));
    ASSERT_EQ(queued, 2);
    EXPECT_EQ(QByteArray(queue.front().msisdn), "0912000001") << "z began first";

    // A new run's rows: resending both leaves nothing to resend.
    log.startRun();
    add("z", "0912000001", "0");
    add("a", "0912000002", "0");
    log.setSelectedRows({0, 1, 2, 3, 4}, false);
    ASSERT_TRUE(QueueFailedRows(jobs, log, queue, &queued, nullptr));
    EXPECT_EQ(queued, 0);
}

// A message is counted by its latest row: a failed send that a resend delivered is delivered.
TEST(MessageHistoryTest, CountsTakeEachMessageOnceByItsLatestRow) {
    const std::vector<SendLogRow> rows = {row("A", "11", "x"), row("B", "0", kSent, "0"), row("A", "0", kSent, "0"),
                                          row("C", "-1", StopRows::cutSendText())};
    FileOrderJobRows log;
    MessageCounter counter;
    for (const SendLogRow& r : rows) {
        log.append(r);
        counter.add(r);
    }
    DeliveryCounts expected;
    expected.add(Delivery::Delivered);
    expected.add(Delivery::Delivered);
    expected.add(Delivery::Uncertain);
    EXPECT_EQ(CountMessages(log), expected);
    EXPECT_EQ(counter.counts(), expected);
    DeliveryCounts first;
    first.add(Delivery::Delivered);
    EXPECT_EQ(CountMessages(log, {0}), first) << "the selected failed row stands for its delivered message";
}

// A list sorted so that a resent row stands above the failed row it resent is saved with the failed one first:
// read back, the failed row is not taken for a message of its own.
TEST(MessageHistoryTest, ASaveKeepsTheRowsOfAMessageInTheOrderTheyCame) {
    test::CheckedModel<SendLogModel> model;
    model.addRow(row("0912000001", "11", "x"));
    model.addRow(row("0912000002", "0", kSent));
    model.addRow(row("0912000001", "0", kSent));
    model.columnClick(ColSendCode); // "0" rows first
    ASSERT_EQ(model.text(0, ColMobile), "0912000002");
    ASSERT_EQ(model.text(1, ColSendCode), "0");
    EXPECT_EQ(SaveOrder(model), (QVector<int>{0, 2, 1}));
}

} // namespace
} // namespace norvi
