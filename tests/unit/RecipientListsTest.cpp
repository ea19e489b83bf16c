#include "core/compose/RecipientLists.h"
#include "core/addressbook/BookFile.h"
#include "core/compose/ComposeState.h"
#include "core/compose/OptOutList.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/StopSignal.h"
#include "support/BookRecords.h"

#include <gtest/gtest.h>

using namespace norvi;
using norvi::test::fieldEntry;

namespace {

class RecipientListsTest : public ::testing::Test {
protected:
    // The dialog's lists and its run, as the dialog keeps them from one load or build to the next.
    int ReadListFile(const QByteArray& bytes) { return norvi::ReadListFile(parsed, bytes); }
    int ReadListFileLines(const QList<QByteArrayView>& lines, const std::function<void()>& step) {
        return norvi::ReadListFileLines(parsed, lines, step);
    }
    SendQueueResult BuildSendQueue(const AddressBook& from, const ComposeInput& input,
                                   const RecipientFilter& filter = {}) {
        return norvi::BuildSendQueue(from, input, parsed, SendQueue, filter);
    }
    // Each queued record as "seq kind name msisdn count first-segment".
    std::vector<QByteArray> queued() const {
        std::vector<QByteArray> out;
        for (const sSendContent& r : SendQueue)
            out.push_back(QByteArray::number(r.seq) + " " + QByteArray::number(r.kind) + " " + getField(r.name) + " " +
                          getField(r.msisdn) + " " + QByteArray::number(r.segmentCount) + " " +
                          segmentText(r.segments[0], 1));
        return out;
    }

    void addMember(int32_t id, const QByteArray& name, const QByteArray& msisdn) {
        book.putMember(test::member(id, name, msisdn));
    }
    void addGroup(int32_t id, std::initializer_list<std::pair<int, int32_t>> slotValues) {
        book.putGroup(test::group(id, slotValues));
    }

    AddressBook book;
    ParsedRecipients parsed;
    std::list<sMtData>& RecipientList = parsed.RecipientList;
    std::map<int32_t, sLoadMt>& ListFileRows = parsed.ListFileRows;
    std::map<int32_t, QByteArray>& ListFileLongNumbers = parsed.ListFileLongNumbers;
    std::list<sSendContent> SendQueue;
};

TEST_F(RecipientListsTest, ListFileLinesBecomeRowsAndEntries) {
    std::vector<QByteArray> lines;
    const QByteArray file("a\r\nb\nc\rd\n\re\r\n");
    for (const QByteArrayView line : SplitListFileLines(file))
        lines.push_back(line.toByteArray());
    EXPECT_EQ(lines, (std::vector<QByteArray>{"a", "b", "c", "d", "", "e"})); // CR LF is one line end

    EXPECT_EQ(ReadListFile("0912000001\r\n0912000002 Hello\r\n  \r\n"), 2);
    EXPECT_EQ(getField(ListFileRows.at(0).content), "");
    EXPECT_EQ(getField(ListFileRows.at(1).msisdn), "0912000002");
    EXPECT_EQ(getField(ListFileRows.at(1).content), "Hello");
    ASSERT_EQ(RecipientList.size(), 2u);
    EXPECT_EQ(RecipientList.back().kind, KindListRow);
    EXPECT_EQ(RecipientList.back().id, 1);
    EXPECT_EQ(getField(RecipientList.back().label), "0912000002");

    const struct {
        QByteArray line, number, content;
    } cases[] = {{"0912 hello, world", "0912", "hello, world"},
                 {" 0912 text", "", "0912 text"}, // a leading separator leaves the number empty
                 {QByteArray(40, '1') + " x", QByteArray(30, '1'), "x"},
                 {"1 " + QByteArray(1000, 'c'), "1", QByteArray(960, 'c')},
                 // The empty columns of a spreadsheet's comma list, or values with nothing between their "$",
                 // are no text: the row gets the message, never "," or "$$" as its text.
                 {"0912,,", "0912", ""},
                 {"0912 , ,\t,", "0912", ""},
                 {"0912,$$", "0912", ""},
                 {"0912,,x", "0912", ",x"},
                 {"0912 $ $", "0912", ""}};
    for (const auto& c : cases) {
        sLoadMt row;
        ASSERT_TRUE(ParseListFileLine(c.line, 4, row));
        EXPECT_EQ(getField(row.msisdn), c.number) << c.line.constData();
        EXPECT_EQ(getField(row.content), c.content) << c.line.constData();
    }
}

TEST_F(RecipientListsTest, NulByteIsFoundByItsLineAndNeverMadeARow) {
    const struct {
        QByteArray bytes;
        qsizetype line;
    } cases[] = {{QByteArray("0912000001\n0912") + '\0' + "000002 hi\n", 2},
                 {QByteArray(1, '\0'), 1},
                 {QByteArray("a\r\nb\rc\n") + '\0', 4}, // CR LF, CR and LF each end one line
                 {QByteArray("a\nb\n"), 0},
                 {QByteArray(), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(FirstListLineWithNul(c.bytes), c.line) << c.bytes.toHex().constData();
    EXPECT_EQ(ListFileNulLineText(2), QStringLiteral("發訊名單第 2 行含有空字元（0x00），號碼會被截斷，無法載入。"));

    // Past the check as well: the number before the NUL is never taken for the row's number.
    EXPECT_EQ(ReadListFile(QByteArray("0912") + '\0' + "000002\n0912000003\n"), 1);
    EXPECT_EQ(ListFileRows.count(0), 0u);
    EXPECT_EQ(getField(ListFileRows.at(1).msisdn), "0912000003");
}

TEST_F(RecipientListsTest, ReloadStepsPerLineStopsWhenAskedAndLeavesNothingOfTheEarlierFile) {
    ReadListFile("0911 " + QByteArray(900, 'o') + "\n0922 old\n0933 old\n");
    const QByteArray bytes("\n0955 new\n0966\n0977");
    int steps = 0;
    StopFlag stop;
    EXPECT_EQ(norvi::ReadListFileLines(
                  parsed, SplitListFileLines(bytes),
                  [&] {
                      if (++steps == 3)
                          stop.request();
                  },
                  &stop),
              2);
    ASSERT_EQ(ListFileRows.size(), 2u);
    const sLoadMt& row = ListFileRows.at(1);
    EXPECT_EQ(getField(row.content), "new");
    EXPECT_EQ(QByteArray(row.content + 3, 957), QByteArray(957, 0));
}

TEST(SubstituteFields, FillsPlaceholdersFromDollarPairs) {
    const QByteArray templ = big5("親愛的$1$，您的餘額為$2$元");
    const struct {
        QByteArray templ, content, expected;
    } cases[] = {
        {templ, big5("$王$$50$"), big5("親愛的王，您的餘額為50元")},
        {templ, big5("$王小明$ $100$"), big5("親愛的王小明，您的餘額為100元")},
        {big5("您好"), "$A$$B$", "$A$$B$"}, // no "$1$": the content itself
        {templ, "no values", "no values"},
        {"$1$-$2$-$1$", "$A$B$", "A-$2$-A"}, // B stands outside a pair
        {"$1$$2$$3$", "$x$$$y$", "x$2$$3$"}, // "$$" is an empty pair
        {"$1$ $10$", "$a$$b$$c$$d$$e$$f$$g$$h$$i$$j$", "a $10$"},
        {"$$1$$", "$1$", "$1$"}, // the value recreates the placeholder: no endless loop
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubstituteFields(c.templ, c.content), c.expected) << c.templ.constData() << c.content.constData();
    EXPECT_EQ(SubstituteFields(QByteArray("$1$" + QByteArray(2000, 'x')), "$v$").size(), 959);
}

TEST(CheckDigitRunsTest, RefusesNineDigitsStartingWithZero) {
    for (const char* bad : {"\xA4\xA4\xA4\xA4"
                            "0912345678",
                            "012345678", "x000000000"})
        EXPECT_FALSE(CheckDigitRuns(bad)) << bad;
    for (const char* good : {"call 0912-345678", "123456789012", "02-23445678", "01234567", "1012345678"})
        EXPECT_TRUE(CheckDigitRuns(good)) << good;
}

TEST_F(RecipientListsTest, EachNumberIsQueuedOnceAcrossMembersNestedGroupsAndTypedEntries) {
    addMember(1, "Amy", "0911;@0922;0933");
    addMember(2, big5("許").repeated(50), "0944;0955"); // a name of 100 bytes, one more than a record keeps
    addMember(3, "Cat", "");
    addMember(4, "Dan", "0966");
    addMember(5, "Eve", ";0977"); // no number where the plain rule looks: the listed default
    addGroup(-1, {{0, 2}, {5, -2}, {7, 1}});
    addGroup(-2, {{3, 4}, {4, -3}});
    addGroup(-3, {{0, 3}, {1, 4}, {2, -2}, {3, 5}}); // Dan again, and a cycle back to -2
    RecipientList = {fieldEntry(1, KindAddressBook), fieldEntry(-1, KindAddressBook), fieldEntry(0, KindTyped, "0966"),
                     fieldEntry(0, KindTyped, "+8869"), fieldEntry(-2, KindAddressBook)};
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(queued(), (std::vector<QByteArray>{"0 0 Amy 0922 1 hi", "1 0 " + big5("許").repeated(49) + " 0944 1 hi",
                                                 "2 0 Dan 0966 1 hi", "3 0 Eve 0977 1 hi", "4 2  +8869 1 hi"}));
    EXPECT_EQ(r.totalCount, 5);
}

// A row's own text is its message; the same number with another text is not a duplicate, with the same one it is.
TEST_F(RecipientListsTest, ListRowsWithContentGetTheirOwnMessageAndAreDuplicatesOnlyWithTheSameText) {
    ReadListFile(big5("0911 $王$$50$\n0911 $王$$50$\n0911 $李$$80$\n0922\n0922\n0933 plain\n ,x\n0944 ") +
                 QByteArray(200, 'x'));
    const QByteArray templ = big5("親愛的$1$，您的餘額為$2$元");
    for (const bool replace : {true, false}) {
        const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText(templ, replace));
        const QByteArray own = replace ? big5("親愛的王，您的餘額為50元") : big5("$王$$50$");
        const QByteArray other = replace ? big5("親愛的李，您的餘額為80元") : big5("$李$$80$");
        const QByteArray last = "2 1/2-" + QByteArray(155, 'x'); // no "$" values: the content either way
        // A row without values never gets the template's marks: its fields are left empty, and it is named.
        const QByteArray bare = replace ? big5("親愛的，您的餘額為元") : templ;
        EXPECT_EQ(queued(), (std::vector<QByteArray>{"0 1  0911 1 " + own, "1 1  0911 1 " + other,
                                                     "2 1  0922 1 " + bare, "3 1  0933 1 plain", "4 1  0944 " + last}));
        EXPECT_EQ(r.totalCount, 6);
        EXPECT_EQ(r.duplicates, 2);
        EXPECT_EQ(r.sameNumberOtherText, 1);
        EXPECT_EQ(r.emptyFields.lines(), replace ? QStringList{QStringLiteral("第 4 行缺 $1$、$2$")} : QStringList());
        EXPECT_EQ(r.firstEmptyFieldsEntry, replace ? 3 : -1);
    }
}

// A text blank once filled in is never queued, even with the empty fields sent: the gateway refuses an empty one
// and spaces reach the phone as nothing. The first is named; texts around it go as they did.
TEST_F(RecipientListsTest, ABlankMessageIsNeverQueuedAndTheFirstIsNamed) {
    addMember(1, "Amy", "0955");
    const struct {
        const char* list;
        const char* text;
        bool replace;
        std::vector<const char*> queued;
        const char* first;
    } cases[] = {
        {"0911\n0922 $王$\n", "$1$", true, {"0 1  0922 1 王"}, "第一筆在第 1 行"},
        {"0922 $王$\n0911 $ $$x$\n0933 $a$\n", "$1$\n", true, {"0 1  0922 1 王\n", "1 1  0933 1 a\n"}, "第 2 行"},
        {"0911 　\n0922 hi\n", "x", false, {"0 1  0922 1 hi"}, "第一筆在第 1 行"},
        {"", "$1$ $2$", true, {}, "2 位受訊者的訊息是空白的，不會傳送，第一位是 Amy"},
    };
    for (const auto& c : cases) {
        RecipientList.clear();
        ReadListFile(big5(c.list));
        if (!*c.list)
            RecipientList = {fieldEntry(1, KindAddressBook), fieldEntry(0, KindTyped, "0966")};
        const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText(big5(c.text), c.replace));
        std::vector<QByteArray> expected;
        for (const char* q : c.queued)
            expected.push_back(big5(q));
        EXPECT_EQ(queued(), expected) << c.list;
        EXPECT_EQ(r.ok, !c.queued.empty()) << c.list;
        EXPECT_TRUE(BlankTextsText(r.blank).endsWith(QString::fromUtf8(c.first))) << c.list;
    }
}

// One person reached through a group inside a group, typed again in another form and listed again in a third:
// sent once, the others counted as duplicates.
TEST_F(RecipientListsTest, OnePersonIsSentOnceWhateverFormAndSourceTheNumberComesFrom) {
    addMember(1, "Amy", "0912-345-678");
    addMember(2, "Bob", "0922000111");
    addGroup(-1, {{0, -2}, {1, 2}});
    addGroup(-2, {{0, 1}});
    ReadListFile("886912345678\n0933 000 222\n0922-000-111 own text\n");
    RecipientList.insert(RecipientList.begin(),
                         {fieldEntry(-1, KindAddressBook), fieldEntry(0, KindTyped, "+886 912 345 678"),
                          fieldEntry(1, KindAddressBook), fieldEntry(0, KindTyped, "0933-000-222")});
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    // Numbers with separators go without them. A list line's first space ends its number: "0933 000 222" there
    // is the number 0933 with the text "000 222".
    EXPECT_EQ(queued(),
              (std::vector<QByteArray>{"0 0 Amy 0912345678 1 hi", "1 0 Bob 0922000111 1 hi", "2 2  0933000222 1 hi",
                                       "3 1  0933 1 000 222", "4 1  0922000111 1 own text"}));
    EXPECT_EQ(r.duplicates, 3); // +886 912 345 678, Amy again, 886912345678
    EXPECT_EQ(r.sameNumberOtherText, 1);
    EXPECT_EQ(r.recipients, 5);
    EXPECT_EQ(r.odd.count(), 0);

    const SendQueueResult kept = BuildSendQueue(book, ComposeInput::fromText("hi", false), {nullptr, true, false});
    EXPECT_EQ(kept.recipients, 8);
    EXPECT_EQ(kept.duplicates, 0);
}

TEST_F(RecipientListsTest, StoppedNumbersAndOddTextAreLeftOutAsTheFilterSays) {
    addMember(1, "Amy", "0912345678");
    OptOutList optOut;
    optOut.add("+886912345678", {}, QDate(2024, 5, 1));
    optOut.add("0955000333", {}, QDate(2024, 5, 1));
    ReadListFile("0955-000-333 own\nnot-a-number\n");
    RecipientList.insert(RecipientList.begin(), {fieldEntry(1, KindAddressBook), fieldEntry(0, KindTyped, "0922000111"),
                                                 fieldEntry(0, KindTyped, "abc")});
    const ComposeInput input = ComposeInput::fromText("see www.x.tw", false);
    SendQueueResult r = BuildSendQueue(book, input, {&optOut, false, true});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(queued(), std::vector<QByteArray>{"0 2  0922000111 1 see www.x.tw"});
    EXPECT_EQ(r.optedOut, 2);
    EXPECT_EQ(r.optedOutNamed, (QStringList{QStringLiteral("0912345678（Amy）"), QStringLiteral("0955000333")}));
    EXPECT_EQ(r.oddLeftOut, 2);
    EXPECT_EQ(r.odd.summary(), QStringLiteral("以下 2 筆不是手機門號：abc、第 2 行 not-a-number"));
    EXPECT_TRUE(r.link);

    // Sent when the user says so; the stop list holds whatever is chosen.
    r = BuildSendQueue(book, input, {&optOut, false, false});
    EXPECT_EQ(r.recipients, 3);
    EXPECT_EQ(r.oddLeftOut, 0);
    EXPECT_EQ(r.odd.count(), 2);

    // Everybody left out: nothing to send, and why.
    RecipientList = {fieldEntry(1, KindAddressBook), fieldEntry(0, KindTyped, "abc")};
    r = BuildSendQueue(book, input, {&optOut, false, true});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.leftOut(), 2);
    EXPECT_EQ(r.message, QStringLiteral("所有受訊者都已略過（拒收 1 筆、號碼不符 1 筆），沒有簡訊可傳送！"));
    EXPECT_TRUE(SendQueue.empty());
}

// With "替代簡訊", what each recipient gets and which of the template's fields it leaves empty.
TEST(ReplacedMessageTest, FieldsWithoutAValueAreLeftEmptyAndNamed) {
    const struct {
        const char* templ;
        const char* content;
        const char* sent;
        std::vector<int> missing;
    } cases[] = {
        {"您好$1$，會議$2$開始", "$王$$三點$", "您好王，會議三點開始", {}},
        {"您好$1$，會議$2$開始", "$王$", "您好王，會議開始", {2}},
        {"您好$1$，會議$2$開始", "", "您好，會議開始", {1, 2}},
        {"$2$ and $1$ and $2$", "$a$", " and a and ", {2}}, // every occurrence, in any order
        {"$1$ $10$", "", " $10$", {1}},                     // two digits are no placeholder
        // The line's own text, as with no "$1$" in the template or no value in the line: nothing is missing.
        {"您好$1$", "see you", "see you", {}},
        {"Hi $2$", "$x$", "$x$", {}},
        {"no fields", "", "no fields", {}},
    };
    for (const auto& c : cases) {
        QList<int> missing{-1};
        EXPECT_EQ(ReplacedMessage(big5(c.templ), big5(c.content), &missing), big5(c.sent))
            << c.templ << " / " << c.content;
        // Compared as a vector: QList's == hands memcmp a null pointer for an emptied list.
        EXPECT_EQ(std::vector<int>(missing.cbegin(), missing.cend()), c.missing) << c.templ << " / " << c.content;
    }
}

TEST_F(RecipientListsTest, EveryRecipientWithoutValuesIsNamedOnceWithTheFieldsItLeavesEmpty) {
    addMember(1, "Amy", "0911");
    addGroup(-1, {{0, 1}});
    ReadListFile(big5("0922 $x$\n0933 $x$$y$\n"));
    RecipientList.push_back(fieldEntry(0, KindTyped, "0944"));
    RecipientList.push_back(fieldEntry(-1, KindAddressBook));
    RecipientList.push_back(fieldEntry(1, KindAddressBook)); // Amy again: queued once, named once
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("$1$/$2$", true));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.emptyFields.count(), 3);
    EXPECT_EQ(r.emptyFields.lines(), (QStringList{QStringLiteral("第 1 行缺 $2$"), QStringLiteral("0944 缺 $1$、$2$"),
                                                  QStringLiteral("Amy 缺 $1$、$2$")}));
    EXPECT_EQ(r.firstEmptyFieldsEntry, 0);

    // Left out when the user says so: counted, still named, and a run of nobody else has nothing to send.
    const SendQueueResult left =
        BuildSendQueue(book, ComposeInput::fromText("$1$/$2$", true), {nullptr, false, false, true});
    EXPECT_EQ(left.emptyFieldsLeftOut, 3);
    EXPECT_EQ(left.emptyFields.count(), 3);
    EXPECT_EQ(left.recipients, 1); // 0933, whose line gives both values
    RecipientList = {fieldEntry(0, KindTyped, "0944")};
    const SendQueueResult none =
        BuildSendQueue(book, ComposeInput::fromText("$1$", true), {nullptr, false, false, true});
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.message, QStringLiteral("所有受訊者都已略過（缺少替代欄位 1 筆），沒有簡訊可傳送！"));
    EXPECT_EQ(r.emptyFields.refusal(),
              QStringLiteral("以下 3 位受訊者的訊息缺少替代欄位的值：第 1 行缺 $2$、0944 缺 $1$、$2$、Amy 缺 $1$、$2$。"
                             "沒有傳送任何簡訊；要將這些欄位留空照樣傳送請加上 --allow-empty-fields。"));
}

TEST_F(RecipientListsTest, MissingEntriesAreSkippedAndATooLongNumberRefusesTheRun) {
    addMember(1, "Amy", "0911");
    addMember(2, "Bob", QByteArray(30, '9'));
    addGroup(-1, {{0, 77}, {1, -9}, {2, 1}});
    ReadListFile("0933\n");
    RecipientList.insert(RecipientList.end(),
                         {fieldEntry(55, KindAddressBook), fieldEntry(-1, KindAddressBook), fieldEntry(8, KindListRow),
                          fieldEntry(0, KindTyped, QByteArray(29, '8'))});
    book.putGroup(test::named(book.GroupMap().at(-1), big5("業務部")));
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    EXPECT_EQ(r.missingEntries, 4); // member 55, member 77, group -9, row 8
    EXPECT_EQ(r.queuedNumbers, (std::vector<QByteArray>{"0933", "0911", QByteArray(29, '8')}));
    // Each skip says what was skipped, in the order met.
    EXPECT_EQ(r.skipped, (QStringList{QStringLiteral("通訊錄中已沒有成員「」（識別碼 55），已略過。"),
                                      QStringLiteral("群組「業務部」中的成員（識別碼 77）不在通訊錄中，已略過。"),
                                      QStringLiteral("群組「業務部」中的子群組（識別碼 -9）不在通訊錄中，已略過。"),
                                      QStringLiteral("發訊名單第 9 行已不在名單中，已略過。")}));

    RecipientList.push_back(fieldEntry(2, KindAddressBook));
    const SendQueueResult refused = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, QStringLiteral("受訊者號碼過長（超過29個字元）：") + QString(30, QLatin1Char('9')));
    EXPECT_TRUE(SendQueue.empty());
}

// The load named the line of a 40-digit number; 傳送 quotes it whole as it stands in the file, with that
// line, whether the row has its own text or not, and whatever its length past the row's 30 bytes.
TEST_F(RecipientListsTest, ATooLongListFileNumberIsQuotedWholeWithItsLine) {
    const QByteArray forty = QByteArray("0912") + QByteArray(36, '7');
    const struct {
        const char* label;
        QByteArray file, number;
        int line;
    } cases[] = {{"forty digits", "0911\n0922\n" + forty + "\n", forty, 3},
                 {"forty digits with the row's own text", "0911\n" + forty + ",own text\n", forty, 2},
                 {"thirty digits", QByteArray(30, '5') + "\n", QByteArray(30, '5'), 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecipientList.clear();
        ReadListFile(c.file);
        const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, QStringLiteral("受訊者號碼過長（超過29個字元）：%1（發訊名單第 %2 行）")
                                 .arg(QString::fromLatin1(c.number))
                                 .arg(c.line));
    }
    ReadListFile("0911\n");
    EXPECT_TRUE(ListFileLongNumbers.empty()) << "a new file forgets the last one's numbers";
}

// What a row sends reaches a phone as it stands: a control character there (a tab aside) refuses the run by its
// line, as one in the message does, whichever encoding the file had and wherever the row's text came from.
TEST_F(RecipientListsTest, AControlCharacterARowWouldSendRefusesTheRunByItsLine) {
    const QByteArray esc("\x1b");
    const struct {
        QByteArray file;
        QByteArray message;
        bool replace;
        const char* refusal; // empty: the run goes
    } cases[] = {
        {"0911 ok\n0922 hi" + esc + "there\n", "m", false, "發訊名單第 2 行有看不見的控制字元（U+001B）"},
        {"0911,a\x01"
         "b\n",
         "m", false, "發訊名單第 1 行有看不見的控制字元（U+0001）"},
        {"0911 a\x7f\n", "m", false, "發訊名單第 1 行有看不見的控制字元（U+007F）"},
        {"0911 $" + big5("王") + esc + "$\n", "hi $1$", true, "發訊名單第 1 行有看不見的控制字元（U+001B）"},
        {"0911 $a$" + esc + "$b$\n", "m", true, "發訊名單第 1 行有看不見的控制字元（U+001B）"}, // no $1$: sent whole
        {"0911 a\x01"
         "b\n",
         "$1$", true, "發訊名單第 1 行有看不見的控制字元（U+0001）"}, // no value: sent whole
        {"0911 $a$" + esc + "$b$\n", "$1$ $2$", true, ""},            // between the values: never sent
        {"0911 a\tb\n", "m", false, ""},
        {"0911 ab\x01\n", "m", false, ""}, // a line's ends are trimmed: nothing of it is sent
        {"0911\n\x1b" + QByteArray(" text of a row without number\n"), "m", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toHex().toStdString());
        RecipientList.clear();
        ReadListFile(c.file);
        const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText(c.message, c.replace));
        const QString refusal = QString::fromUtf8(c.refusal);
        EXPECT_EQ(r.ok, refusal.isEmpty());
        EXPECT_EQ(r.message.left(refusal.size()), refusal) << r.message.toStdString();
        EXPECT_EQ(SendQueue.empty(), !refusal.isEmpty());
    }
    EXPECT_EQ(ListRowControlText(4, '\x1b'),
              QStringLiteral("發訊名單第 5 行有看不見的控制字元（U+001B），手機無法顯示，請刪除後再傳送。"));
}

// With "一般簡訊" a message written as a template goes out with its marks: the run says which, when anybody gets it.
TEST_F(RecipientListsTest, MarksOfAPlainMessageAreNamedWhenSomebodyGetsTheMessage) {
    ReadListFile("0911 own text\n");
    const QList<int> none;
    EXPECT_EQ(BuildSendQueue(book, ComposeInput::fromText("hi $1$ $3$", false)).marksAsWritten, none)
        << "the only row sends its own text";
    RecipientList.push_back(fieldEntry(0, KindTyped, "0922"));
    EXPECT_EQ(BuildSendQueue(book, ComposeInput::fromText("hi $1$ $3$", false)).marksAsWritten, (QList<int>{1, 3}));
    EXPECT_EQ(BuildSendQueue(book, ComposeInput::fromText("hi $1$", true)).marksAsWritten, none);
    EXPECT_EQ(BuildSendQueue(book, ComposeInput::fromText("US$10", false)).marksAsWritten, none);
}

// A run in which nobody has a number would end as "完成：0 / 0", as if something had been done.
TEST_F(RecipientListsTest, RunWithoutAnyNumberIsRefused) {
    addMember(1, "NoNumber", "");
    addGroup(-1, {{0, 1}, {1, 404}});
    ReadListFile(" ,content only\n");
    RecipientList.insert(RecipientList.end(), {fieldEntry(1, KindAddressBook), fieldEntry(-1, KindAddressBook)});
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, QStringLiteral("沒有任何受訊者有可傳送的電話號碼，沒有簡訊可傳送！"));
    EXPECT_EQ(r.skipped.size(), 1) << "why, as far as known, stays with the refusal";
    EXPECT_TRUE(SendQueue.empty());
}

// Ten skips are named; the rest only counted, as a group of 1,000 dead slots would otherwise fill a screen.
TEST_F(RecipientListsTest, SkipsBeyondTheNamedOnesAreOnlyCounted) {
    sGroup dead = test::group(-1);
    for (int slot = 0; slot < kGroupSlots; ++slot)
        dead.members[slot] = 1000 + slot;
    book.putGroup(dead);
    RecipientList.insert(RecipientList.end(), {fieldEntry(-1, KindAddressBook), fieldEntry(0, KindTyped, "0911")});
    const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.missingEntries, kGroupSlots);
    EXPECT_EQ(r.skipped.size(), kNamedSkips);
}

// A run refills the records of the run before: a shorter message must not keep the old one's tail.
TEST_F(RecipientListsTest, RebuiltQueueHoldsNothingOfThePreviousRun) {
    ReadListFile("0911 " + QByteArray(300, 'x'));
    ASSERT_EQ(BuildSendQueue(book, ComposeInput::fromText("hi", false)).totalCount, 2);
    RecipientList.clear();
    ReadListFile("0922 short");
    BuildSendQueue(book, ComposeInput::fromText("hi", false));
    ASSERT_EQ(queued(), std::vector<QByteArray>{"0 1  0922 1 short"});
    EXPECT_EQ(QByteArray(SendQueue.front().segments[1], kSegmentSize), QByteArray(kSegmentSize, 0));
}

} // namespace

// A group met again, picked twice or inside another group picked too, reaches each of its members again: counted
// as duplicates, or sent again when duplicates are kept, as a member of two groups is. A group that holds itself
// (a damaged book) ends the walk down, and what a group lacks is named once.
TEST_F(RecipientListsTest, AGroupMetAgainReachesEachMemberAgainAsADuplicate) {
    addMember(1, "Amy", "0911000001");
    addMember(2, "Bob", "0911000002");
    addGroup(-1, {{0, 1}, {1, 2}, {2, 99}});   // Amy, Bob and a member no longer in the book
    addGroup(-2, {{0, -1}, {1, -2}, {2, -9}}); // the group above, itself, and a group no longer in the book
    addGroup(-3, {{0, -1}, {1, -2}});          // -1 reached twice: directly and through -2
    struct Case {
        const char* what;
        std::vector<int32_t> picked;
        int duplicates;
        int keptRecipients; // with duplicates kept
        int named;          // entries named as no longer in the book
    };
    const Case cases[] = {
        {"a group alone", {-1}, 0, 2, 1},
        {"the same group twice", {-1, -1}, 2, 4, 1},
        {"a group, then a group holding it", {-1, -2}, 2, 4, 2},
        {"a group holding it, then the group", {-2, -1}, 2, 4, 2},
        {"a group reaching another twice", {-3}, 2, 4, 2},
        {"a member, then its group", {1, -1}, 1, 3, 1},
    };
    for (const Case& c : cases) {
        RecipientList.clear();
        for (const int32_t id : c.picked)
            RecipientList.push_back(fieldEntry(id, KindAddressBook));
        const SendQueueResult r = BuildSendQueue(book, ComposeInput::fromText("hi", false));
        EXPECT_EQ(r.recipients, 2) << c.what;
        EXPECT_EQ(r.duplicates, c.duplicates) << c.what;
        EXPECT_EQ(r.missingEntries, c.named) << c.what;
        const SendQueueResult kept = BuildSendQueue(book, ComposeInput::fromText("hi", false), {nullptr, true, false});
        EXPECT_EQ(kept.recipients, c.keptRecipients) << c.what;
        EXPECT_EQ(kept.duplicates, 0) << c.what;
    }
}
