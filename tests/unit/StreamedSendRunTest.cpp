// A send run made while it goes: the same records, in the same order, as the queue built whole from the
// same recipients, with a list file read a piece at a time; the same refusals; and the duplicate check's
// compact set of numbers.
#include "core/compose/StreamedSendRun.h"
#include "support/BookRecords.h"
#include "support/FileBytes.h"

#include "core/addressbook/BookFile.h"
#include "core/compose/ComposeState.h"
#include "core/compose/NumberSet.h"
#include "core/compose/OptOutList.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>

using namespace norvi;

namespace {

sMtData typed(const QByteArray& number) {
    sMtData e{};
    e.kind = KindTyped;
    putCString(e.label, number);
    return e;
}

sMtData bookEntry(int32_t id) {
    sMtData e{};
    e.id = id;
    e.kind = KindAddressBook;
    return e;
}

// Every record of the run, whole.
std::vector<QByteArray> records(StreamedSendRun& run) {
    std::vector<QByteArray> out;
    sSendContent r;
    while (run.next(r))
        out.emplace_back(reinterpret_cast<const char*>(&r), qsizetype(sizeof r));
    return out;
}

std::vector<QByteArray> records(const std::list<sSendContent>& queue) {
    std::vector<QByteArray> out;
    for (const sSendContent& r : queue)
        out.emplace_back(reinterpret_cast<const char*>(&r), qsizetype(sizeof r));
    return out;
}

class StreamedSendRunTest : public ::testing::Test {
protected:
    AddressBook book;
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }

    // The run built whole (the list file read into ListFileRows) and the run made as it goes, from the
    // same named recipients and list file.
    // The plan walk between the two gives the records the run then sends. Returns the first walk's result.
    SendQueueResult expectSameRun(const std::list<sMtData>& named, const QByteArray& list, bool big5File, bool replace,
                                  const QByteArray& text = "Hi $1$", const RecipientFilter& filter = {}) {
        const ComposeInput input = ComposeInput::fromText(text, replace);
        ParsedRecipients parsed;
        parsed.RecipientList = named;
        ReadListFile(parsed, big5File ? list : big5(QString::fromUtf8(list)));
        std::list<sSendContent> SendQueue;
        const SendQueueResult whole = BuildSendQueue(book, input, parsed, SendQueue, filter);
        const std::vector<QByteArray> expected = records(SendQueue);

        test::writeAll(path("list.txt"), list);
        StreamedSendRun run(book);
        run.setRecipients(named);
        EXPECT_TRUE(run.setListFile(path("list.txt"), big5File));
        int rows = 0;
        EXPECT_TRUE(run.countListRows(&rows));
        run.setInput(input);
        run.setFilter(filter);
        const SendQueueResult first = run.prepare();
        EXPECT_EQ(first.ok, whole.ok);
        EXPECT_EQ(first.totalCount, whole.totalCount);
        EXPECT_EQ(first.duplicates, whole.duplicates);
        EXPECT_EQ(first.skipped, whole.skipped);
        // The run built whole also names the list file's line of a refused number.
        EXPECT_TRUE(whole.message.startsWith(first.message)) << first.message.toStdString();
        if (!whole.ok)
            return first; // a refused run is never started
        std::vector<QByteArray> planned;
        EXPECT_TRUE(run.forEachPlanned([&](const sSendContent& r) {
            planned.emplace_back(reinterpret_cast<const char*>(&r), qsizetype(sizeof r));
        }));
        EXPECT_EQ(planned, expected) << "the plan holds what the run sends";
        const std::vector<QByteArray> made = records(run);
        EXPECT_EQ(made.size(), expected.size());
        for (std::size_t i = 0; i < std::min(made.size(), expected.size()); ++i)
            EXPECT_EQ(made[i], expected[i]) << "record " << i;
        EXPECT_TRUE(run.lateProblem().isEmpty());
        return first;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(StreamedSendRunTest, MakesTheRecordsTheWholeQueueHoldsInItsOrder) {
    book.putMember(test::member(1, big5("王小明"), "0911000001;@0911000002"));
    book.putMember(test::member(2, big5("陳美麗"), "0922000002"));
    book.putGroup(test::group(-1, {{0, 2}, {3, 1}, {4, 77}}));
    const std::list<sMtData> named{typed("0933000003"), bookEntry(-1), typed("0922000002"), bookEntry(5)};
    const QByteArray list = "0944000004\r\n"
                            "0933000003\r\n"           // queued already by name: skipped
                            "0933000003 $王$$350$\r\n" // its own text: sent anyway
                            "\r\n"
                            "  ,only a text\r\n"
                            "0955000005,Hello there\r\n"
                            "+886912000006\n";
    expectSameRun(named, list, false, true);
    expectSameRun(named, list, false, false);
    expectSameRun(named, big5("0911000002 $甲$\n0966\n"), true, true);
}

// Every walk leaves out the same: the duplicates (a list line's own text compared in full with the earlier
// one's, which is kept because the list holds its number twice) and the stop list's numbers.
TEST_F(StreamedSendRunTest, EveryWalkLeavesOutTheSameDuplicatesAndStoppedNumbers) {
    OptOutList optOut;
    optOut.add("0955000005", {}, QDate(2024, 5, 1));
    const QByteArray list = "0933000003 hi\n0933000003\n0944000004 $a$\n0944-000-004 $a$\n0944000004 $b$\n"
                            "0955000005\n0966000006 hi\n";
    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replace" : "plain");
        const SendQueueResult r =
            expectSameRun({typed("0933000003")}, list, true, replace, replace ? "x$1$" : "hi", {&optOut, false, false});
        EXPECT_EQ(r.recipients, replace ? 5 : 4);
        EXPECT_EQ(r.duplicates, replace ? 2 : 3);
        EXPECT_EQ(r.optedOut, 1);
    }
}

TEST_F(StreamedSendRunTest, AListOfManyPiecesGivesEveryLineOnceWhereverItsLineEndFalls) {
    // About 3 MB of lines of every length, so pieces end inside lines, between CR and LF, and on both.
    QByteArray list;
    QRandomGenerator random(7);
    for (int i = 0; list.size() < 3 * 1024 * 1024; ++i) {
        list += "09" + QByteArray::number(10000000 + i);
        if (i % 3 == 0)
            list += " $" + QByteArray(int(random.bounded(400)), 'a' + char(i % 26)) + "$";
        list += i % 4 == 0 ? "\r\n" : i % 4 == 1 ? "\n" : i % 4 == 2 ? "\r" : "\r\n";
    }
    expectSameRun({typed("0900000000")}, list, true, true);
}

// A line of megabytes is cut as the row cuts it, not refused, and the line after it is read as it stands;
// the kept part ends at a whole character (64 KB falls inside one here), so it is still text.
TEST_F(StreamedSendRunTest, ALineOfMegabytesIsCutAndTheNextLineReadWhole) {
    const QByteArray next = "\r\n0912000002 $next$\n";
    expectSameRun({}, "0912000001 $" + QString(2 * 1024 * 1024, QChar(0x4E2D)).toUtf8() + "$" + next, false, true);
    expectSameRun({}, "0912000001 $a" + big5(QString(2 * 1024 * 1024, QChar(0x4E2D))) + "$" + next, true, true);

    // The cut lines, each once however often the file is read.
    test::writeAll(path("cut.txt"), "0912\n0913 " + QByteArray(70 * 1024, 'a') + "\n0914\r0915 " +
                                        QByteArray(65 * 1024, 'b') + "\r\n0916 " + QByteArray(64 * 1024 - 5, 'c'));
    StreamedSendRun run(book);
    ASSERT_TRUE(run.setListFile(path("cut.txt"), true));
    int rows = 0;
    ASSERT_TRUE(run.countListRows(&rows));
    run.setInput(ComposeInput::fromText("Hi", false));
    EXPECT_TRUE(run.prepare().ok);
    EXPECT_EQ(run.listCutLines(), (std::vector<qint64>{1, 3}));
}

TEST_F(StreamedSendRunTest, RefusesWhatTheWholeQueueRefuses) {
    // A number too long, and a run in which nobody has a number.
    expectSameRun({}, "0912\n" + QByteArray(30, '9') + "\n", true, false);
    book.putMember(test::member(1, big5("無號碼"), ""));
    expectSameRun({bookEntry(1)}, " ,only a text\n", true, false);
}

TEST_F(StreamedSendRunTest, AFileProblemIsNamedAsAWholeFileCheckNamesIt) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool big5;
        ListFileProblem problem;
        qint64 line;
    } cases[] = {
        {"Utf8LineThatIsNot", "0912\n0913 \xA4\xA4\n", false, ListFileProblem::NotUtf8, 2},
        {"Big5LineThatIsNot", "0912 \xA3\xC0\n", true, ListFileProblem::NotBig5, 1},
        // A NUL further on is named before the encoding, as the whole-file check names it.
        {"NulAfterBadText", QByteArray("0912 \xA4\xA4\n0913\n09") + '\0' + "14\n", false, ListFileProblem::NulByte, 3},
        {"TooLongANumberThenNul", QByteArray(40, '9') + "\n09" + '\0' + "\n", true, ListFileProblem::NulByte, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeAll(path("bad.txt"), c.bytes);
        StreamedSendRun run(book);
        ASSERT_TRUE(run.setListFile(path("bad.txt"), c.big5));
        int rows = 0;
        EXPECT_FALSE(run.countListRows(&rows));
        EXPECT_EQ(run.listCheck().problem, c.problem);
        EXPECT_EQ(run.listCheck().line, c.line);
    }
    test::writeAll(path("emoji.txt"), QStringLiteral("0911 $小明😀$\n").toUtf8());
    StreamedSendRun run(book);
    ASSERT_TRUE(run.setListFile(path("emoji.txt"), false));
    int rows = 0;
    EXPECT_FALSE(run.countListRows(&rows));
    EXPECT_EQ(run.listCheck().problem, ListFileProblem::Unmappable);
    EXPECT_EQ(run.listCheck().unmappable, QStringLiteral("😀"));
}

TEST_F(StreamedSendRunTest, AListFileChangedBeforeTheRunStopsItThere) {
    test::writeAll(path("list.txt"), "0912000001\n0912000002\n");
    StreamedSendRun run(book);
    ASSERT_TRUE(run.setListFile(path("list.txt"), true));
    run.setInput(ComposeInput::fromText("hi", false));
    ASSERT_TRUE(run.prepare().ok);
    test::writeAll(path("list.txt"), "0912000001\n0912000002\n0912000003\n");
    sSendContent r;
    EXPECT_FALSE(run.next(r));
    EXPECT_FALSE(run.lateProblem().isEmpty());
}

TEST_F(StreamedSendRunTest, NumberSetTellsNumbersApartByEveryByte) {
    NumberSet set;
    EXPECT_TRUE(set.insert("0912345678"));
    EXPECT_FALSE(set.insert("0912345678"));
    EXPECT_TRUE(set.insert("912345678")) << "a leading zero makes another number";
    EXPECT_TRUE(set.insert("+0912345678"));
    EXPECT_TRUE(set.insert("0912-345678")) << "not digits alone: kept as bytes";
    EXPECT_FALSE(set.insert("0912-345678"));
    EXPECT_TRUE(set.insert(QByteArray(29, '9')));
    EXPECT_TRUE(set.insert(QByteArray(17, '9')));
    EXPECT_FALSE(set.contains("0999"));
    for (int i = 0; i < 200000; ++i)
        ASSERT_TRUE(set.insert(QByteArray("09" + QByteArray::number(10000000 + i))));
    for (int i = 0; i < 200000; i += 997)
        ASSERT_FALSE(set.insert(QByteArray("09" + QByteArray::number(10000000 + i))));
    EXPECT_EQ(set.size(), 200000 + 6);
}
