#include "core/exchange/AddressTransfer.h"
#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/exchange/ColumnMapping.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"
#include "support/BookRecords.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <random>
#include <tuple>

using namespace norvi;

namespace {

QByteArray transferB5(const char* utf8) {
    return big5(QString::fromUtf8(utf8));
}

using Fields = std::tuple<QByteArray, QByteArray, QByteArray>;

Fields fields(const sMember& m) {
    return {getField(m.name), getField(m.msisdn), getField(m.desc)};
}

std::vector<Fields> bookFields(const AddressBook& book) {
    std::vector<Fields> list;
    for (const auto& [id, m] : book.MemberMap())
        list.push_back(fields(m));
    return list;
}

constexpr int64_t kTransferNow = 1700000000;

class AddressTransferTest : public ::testing::Test {
protected:
    AddressBook book;
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        book.setFilePath(AddressBookPath(m_dir.path()));
        book.clear();
        Clock::setFixed(QDateTime::fromSecsSinceEpoch(kTransferNow));
    }
    void TearDown() override {
        Clock::reset();
        book.clear();
    }

    // Imports `bytes` as the comma or space type with the file's own mapping, or with `codes`.
    ImportSummary import(const QByteArray& bytes, char delimiter = ',', std::array<int, 3> codes = {-1, 0, 0},
                         HeaderChoice header = HeaderChoice::Auto) {
        const AddressRecords records = ReadAddressRecords(ParseAddressText(bytes), delimiter, header);
        if (codes[0] < 0)
            codes = ColumnMapping::fromRecords(records).columnCodes();
        return ImportAddressRecords(book, records, QStringLiteral("in.csv"), codes,
                                    [this](const QString& line) { problems << line; });
    }

    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QByteArray read(const QString& p) const {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::vector<int32_t> allIds() const {
        std::vector<int32_t> ids;
        for (const auto& entry : book.MemberMap())
            ids.push_back(entry.first);
        return ids;
    }

    QTemporaryDir m_dir;
    QStringList problems;
};

} // namespace

TEST_F(AddressTransferTest, ExportWritesTheHeaderAndOneLinePerListedMember) {
    book.putMember(test::member(10, transferB5("王小明"), "@0911;0922", transferB5("業務, 北區")));
    book.putMember(test::member(20, "Bob", "0933", ""));
    const ExportResult all = ExportAddressText(book, path("all.csv"), {20, 10, 99}, ',', {true, true, true});
    ASSERT_TRUE(all.ok) << all.message.toStdString();
    EXPECT_EQ(all.written, 2);
    EXPECT_EQ(read(path("all.csv")),
              transferB5("名稱,行動電話,備註\r\nBob,0933,\r\n王小明,@0911;0922,\"業務, 北區\"\r\n"));

    ASSERT_TRUE(ExportAddressText(book, path("n.txt"), {10, 20}, ' ', {false, true, false}).ok);
    EXPECT_EQ(read(path("n.txt")), transferB5("行動電話\r\n@0911;0922\r\n0933\r\n"));

    // A value with a comma, a quote or a line break is quoted in a comma-separated file; a space-separated
    // file keeps a member on one line.
    book.putMember(test::member(30, "C", "1", "say \"hi\"\r\ntwo"));
    EXPECT_EQ(AddressTextImage(book, {30}, ',', {true, false, true}),
              transferB5("名稱,備註\r\nC,\"say \"\"hi\"\"\r\ntwo\"\r\n"));
    EXPECT_EQ(AddressTextImage(book, {30}, ' ', {true, false, true}), transferB5("名稱 備註\r\nC say \"hi\"  two\r\n"));
}

TEST_F(AddressTransferTest, ExportRefusesTheBookItselfAndKeepsAFileItCannotReplace) {
    book.putMember(test::member(1, "A"));
    ASSERT_TRUE(SaveAddressBook(book).ok);
    const QByteArray bookBytes = read(book.filePath());
    const ExportResult onBook = ExportAddressText(book, book.filePath(), {1}, ',', {true, true, true});
    EXPECT_FALSE(onBook.ok);
    EXPECT_EQ(read(book.filePath()), bookBytes);

    const ExportResult noFolder = ExportAddressText(book, path("none/x.csv"), {1}, ',', {true, true, true});
    EXPECT_FALSE(noFolder.ok);
    EXPECT_EQ(noFolder.message,
              QStringLiteral("匯出檔%1開啟失敗\n無法建立暫存檔 %1：檔案或目錄不存在").arg(path("none/x.csv")));
}

TEST_F(AddressTransferTest, RoundTripGivesMembersEqualToTheOriginals) {
    book.putMember(test::member(5, transferB5("王小明"), "@0911000001;0922000002", transferB5("台北, 信義區,  三樓 ")));
    book.putMember(test::member(6, "Bob", "", ""));
    book.putMember(test::member(8, transferB5("林,小華"), "0933111333", transferB5("他說 \"好\"\r\n第二行")));
    book.putMember(test::member(7, "", "+886912345678", transferB5("只有號碼")));
    const std::vector<Fields> before = bookFields(book);
    ASSERT_TRUE(ExportAddressText(book, path("book.csv"), allIds(), ',', {true, true, true}).ok);

    book.clear();
    const AddressRecords records =
        ReadAddressRecords(ParseAddressText(read(path("book.csv"))), ',', HeaderChoice::Auto);
    const ColumnMapping mapping = ColumnMapping::fromRecords(records);
    const ImportSummary s = ImportAddressRecords(book, records, path("book.csv"), mapping.columnCodes(), {});
    EXPECT_EQ(s.added, 4);
    EXPECT_EQ(bookFields(book), before); // ids follow the lines, which follow the old ids
}

// Each file comes in as the members its good lines make, cleaned as they come in; every line left out is
// named by its number and why, and the summary says so. A row a call: its label, how the file is read, the
// file, then what the book, the named lines, the count left out and (when given) the summary must be.
TEST_F(AddressTransferTest, ImportKeepsTheGoodLinesCleanedAndNamesEveryLineLeftOut) {
    struct Reading {
        char delimiter;
        std::array<int, 3> codes; // {-1, 0, 0}: the file's own mapping
        HeaderChoice header;
    };
    const Reading commas{',', {-1, 0, 0}, HeaderChoice::Auto}, spaces{' ', {-1, 0, 0}, HeaderChoice::Auto};
    const auto expectImport = [this](const char* label, const Reading& how, const QByteArray& bytes,
                                     const std::vector<Fields>& members, const QStringList& named, int skipped,
                                     const char* summary = nullptr) {
        SCOPED_TRACE(label);
        book.clear();
        problems.clear();
        const ImportSummary s = import(bytes, how.delimiter, how.codes, how.header);
        EXPECT_EQ(bookFields(book), members);
        EXPECT_EQ(problems.join(QLatin1Char('\n')).toStdString(), named.join(QLatin1Char('\n')).toStdString());
        EXPECT_EQ(s.added, int(members.size()));
        EXPECT_EQ(s.skipped, skipped);
        if (summary) {
            EXPECT_EQ(s.text(), QString::fromUtf8(summary));
        }
    };
    const auto lineOut = [](int line, const QString& why) {
        return QStringLiteral("匯入檔in.csv之第%1行%2，此行未匯入").arg(line).arg(why);
    };
    const auto tooFewColumns = [](int line, int needed) {
        return QStringLiteral("匯入檔in.csv之第%1行欄位數不足%2個(List index out of bounds (%3))")
            .arg(line)
            .arg(needed)
            .arg(needed - 1);
    };

    // A name is cut at 100 bytes without leaving half a character behind.
    const QByteArray name100(100, 'n');
    expectImport("blanks, number marks and over-long names go", commas,
                 transferB5("名稱,行動電話,備註\r\n"
                            "  王小明 ,(02) 2345-6789, 說明, 有逗號 \r\n"
                            "\r\n"
                            "林,0912_345~678*,\r\n") +
                     " " + name100 + "x,1,\r\n" + "a" + transferB5("王") + QByteArray(97, 'b') + transferB5("明") +
                     ",2,\r\n",
                 {{transferB5("王小明"), "0223456789", transferB5(" 說明, 有逗號 ")},
                  {transferB5("林"), "0912345678", ""},
                  {name100, "1", ""},
                  {"a" + transferB5("王") + QByteArray(97, 'b'), "2", ""}},
                 {}, 0);
    // The second byte of 外 is "~" and that of 于 is "_": the characters stay whole, and such a number is no
    // telephone number.
    expectImport("a number's Big5 characters stay whole", commas, transferB5("行動電話\n(外)0911-于\n"), {},
                 {lineOut(2, QStringLiteral("門號「外0911于」不是手機門號"))}, 1,
                 "新增 0 位成員\n未匯入 1 行：第 2 行 門號「外0911于」不是手機門號");
    // A line that would give a member the book's load calls damaged, or one of no use.
    const QByteArray longNumber = QByteArray(60, '1') + ";" + QByteArray(60, '2');
    expectImport(
        "lines that give no good member", commas,
        transferB5("名稱,行動電話\n"
                   "林,\"小華\"\n"
                   "\"Tab\tName\",0912000001\n"
                   "Wu,0912000002;abc\n"
                   ",,only a note\n"
                   "Ok,0912000003\n") +
            "Long," + longNumber + "\n",
        {{"Ok", "0912000003", ""}},
        {lineOut(2, QStringLiteral("門號「小華」不是手機門號")),
         lineOut(3, QStringLiteral("名稱「Tab\\x09Name」含有控制字元")),
         lineOut(4, QStringLiteral("門號「abc」不是手機門號")), lineOut(5, QStringLiteral("沒有名稱也沒有門號")),
         lineOut(7, QStringLiteral("門號「%1」超過 120 個位元組").arg(QString::fromLatin1(longNumber)))},
        5,
        "新增 1 位成員\n未匯入 5 行：第 2 行 門號「小華」不是手機門號；第 3 行 名稱「Tab\\x09Name」含有控制字元；"
        "第 4 行 門號「abc」不是手機門號…");
    expectImport("the space type cuts names at their space", spaces,
                 transferB5("名稱 行動電話 備註\nJohn Smith 0912 note\nJohn 0912 Smith note\n"),
                 {{"John", "0912", "Smith note"}}, {lineOut(2, QStringLiteral("門號「Smith」不是手機門號"))}, 1);
    // The header's own first line is a member in the file's mind, but it is the header.
    expectImport("a short line after a given header", {',', {FieldName, FieldMsisdn, 0}, HeaderChoice::Yes},
                 transferB5("王小明,0911\r\n\r\n陳美麗\r\n林,0933\r\n"), {{transferB5("林"), "0933", ""}},
                 {tooFewColumns(3, 2)}, 1);
    // More columns than assigned are fine; an assignment past the line's columns is not, unless it is the
    // description's, which is empty then.
    expectImport("a name past the line's columns", {',', {FieldDesc, 0, FieldName}, HeaderChoice::Auto},
                 "h\r\nA,B,C,D\r\nA\r\n", {{"C,D", "", "A"}}, {tooFewColumns(3, 3)}, 1);
    expectImport("a description past the line's columns", {',', {FieldName, 0, FieldDesc}, HeaderChoice::Auto},
                 "h\r\nA,B,C,D\r\nA\r\n", {{"A", "", "C,D"}, {"A", "", ""}}, {}, 0);
    // A line past the cap comes in with its fields cut as any long field is, and the note names it; a line
    // whose needed column lies past the cap is short.
    const QByteArray pastTheCap(kMaxAddressLineBytes * 3, 'x');
    expectImport(
        "lines longer than the cap", commas,
        transferB5("名稱,行動電話,備註\n王小明,0911,") + pastTheCap + "\n" + pastTheCap +
            transferB5(",0922\n林,0933,d\n"),
        {{transferB5("王小明"), "0911", QByteArray(sizeof(sMember::desc), 'x')}, {transferB5("林"), "0933", "d"}},
        {QStringLiteral("匯入檔in.csv之第2行超過 64 KB，超過的部分未讀取"), tooFewColumns(3, 2)}, 1);
    // UTF-8 comes in as Big5 (never with "?" for a character), and a line Big5 cannot hold is named.
    expectImport("UTF-8 lines", commas, "\xEF\xBB\xBF名稱,行動電話\n王小明,0911\n陳\xF0\x9F\x98\x80,0922\n林美,0933\n",
                 {{transferB5("王小明"), "0911", ""}, {transferB5("林美"), "0933", ""}},
                 {lineOut(3, QStringLiteral("的文字「😀」(U+1F600)無法以Big5碼表示"))}, 1);
}

TEST_F(AddressTransferTest, IdsAreThoseOfOneByOneAllocationAroundTakenIds) {
    for (const int32_t taken : {int32_t(kTransferNow + 1), int32_t(kTransferNow + 3)})
        book.putMember(test::member(taken, "old"));
    // The clock moves on during the import: one second after every second line.
    Clock::setFixed(QDateTime::fromSecsSinceEpoch(kTransferNow), 500);
    QByteArray file = "h\n";
    for (int i = 0; i < 6; ++i)
        file += "m" + QByteArray::number(i) + "\n";
    import(file, ',', {FieldName, 0, 0});

    std::map<int32_t, sMember> expected;
    {
        std::map<int32_t, sMember> saved = book.MemberMap();
        book.clear();
        book.putMember(test::member(int32_t(kTransferNow + 1), "old"));
        book.putMember(test::member(int32_t(kTransferNow + 3), "old"));
        Clock::setFixed(QDateTime::fromSecsSinceEpoch(kTransferNow), 500);
        for (int i = 0; i < 6; ++i) {
            const int32_t id = NewEntryId(book, EntryKind::Member, EntryIdStart(EntryKind::Member));
            book.putMember(test::member(id, "m" + QByteArray::number(i)));
        }
        expected = book.MemberMap();
        book.replace(saved, {});
    }
    ASSERT_EQ(book.MemberMap().size(), expected.size());
    for (const auto& [id, m] : expected)
        EXPECT_EQ(getField(book.MemberMap().at(id).name), getField(m.name)) << id;
}

// Whatever the lines, an import stores only members the book's load keeps as they are: a file of generated
// lines (quotes, separators, control characters, Big5 text, numbers of every shape, over-long fields), read
// with a header or without, never leaves a book that a restart calls damaged.
TEST_F(AddressTransferTest, NoLinesEverMakeABookTheLoadCallsDamaged) {
    const QList<QByteArray> pieces = {"0912345678",
                                      "+886912345678",
                                      "@0911000001;0922000002",
                                      "02-2345-6789",
                                      "(02)2345 6789",
                                      ";",
                                      "@",
                                      ",",
                                      "\"",
                                      "\"\"",
                                      " ",
                                      "\t",
                                      "\x01",
                                      "\x7F",
                                      "\r\n",
                                      "abc",
                                      transferB5("林小華"),
                                      transferB5("許功蓋"),
                                      "\xA4",
                                      QByteArray(130, '9'),
                                      QByteArray(90, 'n') + transferB5("王"),
                                      "0912;",
                                      ";;0912",
                                      "_~*",
                                      "-",
                                      "12"};
    std::mt19937 random(46);
    const auto pick = [&random](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
    int stored = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes;
        const int lines = 1 + pick(6);
        for (int l = 0; l < lines; ++l) {
            const int parts = pick(8);
            for (int p = 0; p < parts; ++p)
                bytes += pieces.at(pick(int(pieces.size())));
            bytes += pick(2) ? "\r\n" : "\n";
        }
        const char delimiter = pick(2) ? ',' : ' ';
        const HeaderChoice header = std::array{HeaderChoice::Auto, HeaderChoice::Yes, HeaderChoice::No}[pick(3)];
        const std::array<int, 3> codes = pick(2) ? std::array<int, 3>{-1, 0, 0}
                                                 : std::array{std::array<int, 3>{FieldName, FieldMsisdn, FieldDesc},
                                                              std::array<int, 3>{FieldMsisdn, FieldName, 0},
                                                              std::array<int, 3>{0, FieldMsisdn, FieldName}}[pick(3)];
        book.clear();
        import(bytes, delimiter, codes, header);
        AddressBook loaded;
        const AddressBookResult result = ParseAddressBook(loaded, AddressBookImage(book));
        ASSERT_FALSE(result.damaged) << result.message.toStdString() << "\nfrom: " << bytes.toHex().toStdString();
        ASSERT_EQ(loaded.MemberMap().size(), book.MemberMap().size());
        for (const auto& [id, m] : loaded.MemberMap())
            ASSERT_EQ(fields(m), fields(book.MemberMap().at(id))); // nothing of a number left out on load
        stored += int(book.MemberMap().size());
    }
    EXPECT_GT(stored, 50); // the lines made members too, not only refusals
}
