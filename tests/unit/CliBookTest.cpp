#include "support/CliFixture.h"

#ifdef NORVI_CLI_PATH

namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::says;
using test::saysNot;

QByteArray bookB5(const char* utf8) {
    return big5(QString::fromUtf8(utf8));
}

// Command-line words written in one string: w("book import") << path.
QStringList w(const char* words) {
    return QString::fromUtf8(words).split(QLatin1Char(' '));
}

class CliBookTest : public CliTest {
protected:
    QString bookPath() const { return path(QStringLiteral("AddressBook.bin")); }
};

TEST_F(CliBookTest, ImportWithTheHeadersMappingAddsMembersAndNamesTheLinesLeftOut) {
    writeFile(QStringLiteral("in.csv"), bookB5("名稱,行動電話,備註\r\n王小明,(02)2345-6789,北區, 業務\r\n陳美麗\r\n") +
                                            QByteArray("\r\nLin,0933,x\r\n"));
    const CliRun r = run(w("book import") << path(QStringLiteral("in.csv")));
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(says(r.out, QStringLiteral("新增 2 位成員")));
    EXPECT_TRUE(says(r.err, QStringLiteral("之第3行欄位數不足2個")));
    EXPECT_EQ(members(),
              (std::vector<Member>{{bookB5("王小明"), "0223456789", bookB5("北區, 業務")}, {"Lin", "0933", "x"}}));

    // The same file again doubles the members; the list shows them tab-separated in UTF-8.
    ASSERT_EQ(run(w("book import") << path(QStringLiteral("in.csv"))).exitCode, 2);
    const CliRun listed = run(w("book list"));
    ASSERT_EQ(listed.exitCode, 0);
    const QStringList lines = listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const QStringList first = lines.first().split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(first[0], QStringLiteral("member"));
    EXPECT_EQ(first[2], QStringLiteral("王小明"));
    EXPECT_EQ(first[4], QStringLiteral("北區, 業務"));
}

TEST_F(CliBookTest, ImportWithoutNameOrNumberIsRefusedWithTheWizardsTextAndTheBookIsUntouched) {
    book.putMember(test::member(7, "Old"));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
    const QByteArray before = readBytes(QStringLiteral("AddressBook.bin"));
    writeFile(QStringLiteral("in.csv"), "Nom,Phone\r\nA,1\r\n");
    const QStringList import = w("book import") << path(QStringLiteral("in.csv"));
    runSteps({{import, 1, {"您至少必須對應下列其中一個欄位至通訊錄內容：名稱、行動電話"}}});
    EXPECT_EQ(readBytes(QStringLiteral("AddressBook.bin")), before);

    // The same file with its columns named on the command line; bad maps and other mistakes change nothing.
    runSteps({
        {import + w("--map desc,name"), 0},
        {import + w("--map name,name"), 1},
        {import + w("--map name,phone"), 1},
        {import + w("--map a,b,c,d"), 1},
        {w("book import") << path(QStringLiteral("none.csv")), 1},
        {w("book list --map name"), 1},
    });
    EXPECT_EQ(members(), (std::vector<Member>{{"Old", "", ""}, {"1", "", "A"}}));
}

TEST_F(CliBookTest, ExportOfTheBookOrOfAGroupImportsBackAsEqualMembers) {
    book.putMember(test::member(1, bookB5("王小明"), "@0911;0922", bookB5("備註, 有逗號")));
    book.putMember(test::member(2, "Bob", "0933", ""));
    book.putMember(test::member(3, "Cy", "0944", "c"));
    book.putGroup(test::named(test::group(-1, {{0, 3}, {4, -2}, {7, 1}}), bookB5("業務部")));
    book.putGroup(test::group(-2, {{0, 2}}));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);

    const CliRun all = run(w("book export") << path(QStringLiteral("all.csv")));
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_EQ(readBytes(QStringLiteral("all.csv")),
              bookB5("名稱,行動電話,備註\r\n王小明,@0911;0922,\"備註, 有逗號\"\r\nBob,0933,\r\nCy,0944,c\r\n"));

    const CliRun group =
        run(w("book export") << path(QStringLiteral("g.txt")) << w("--space --fields msisdn,name --group 業務部"));
    ASSERT_EQ(group.exitCode, 0) << group.err.toStdString();
    EXPECT_EQ(readBytes(QStringLiteral("g.txt")), bookB5("名稱 行動電話\r\nCy 0944\r\n王小明 @0911;0922\r\n"));
    // An empty name is no name: asked for, not taken for a file that could not be written or read.
    runSteps({{w("book export") << path(QStringLiteral("x.csv")) << w("--group 無此群組"), 1},
              {w("book export") << bookPath(), 1},
              {w("book export") << QString(), 1, {"請指定匯出的檔案。"}, {}, -1, {"寫入失敗"}},
              {w("book export") << QString() << w("--fields name"), 1, {"請指定匯出的檔案。"}},
              {w("book import") << QString(), 1, {"請指定要匯入的檔案。"}, {}, -1, {"無法讀取"}}});

    // Into an empty book, the export comes back as the same members.
    const auto before = members();
    QFile::remove(bookPath());
    const CliRun back = run(w("book import") << path(QStringLiteral("all.csv")));
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(members(), before);
}

TEST_F(CliBookTest, ImportReadsQuotedFieldsAndTakesTheFirstLineAsToldOrGuessed) {
    writeFile(QStringLiteral("in.csv"), bookB5("\"林,小華\",0933111333,quoted comma\r\n小明,\"小華\"\r\n"));
    const CliRun guessed = run(w("book import") << path(QStringLiteral("in.csv")));
    EXPECT_EQ(guessed.exitCode, 2) << guessed.err.toStdString();
    EXPECT_TRUE(says(guessed.out,
                     QStringLiteral("第一行是資料；欄位對應：第1欄「林,小華」→名稱，第2欄「0933111333」→行動電話")));
    EXPECT_TRUE(
        says(guessed.out,
             QStringLiteral("通訊錄匯入作業已完成：新增 1 位成員；未匯入 1 行：第 2 行 門號「小華」不是手機門號")));
    EXPECT_TRUE(says(guessed.err, QStringLiteral("之第2行門號「小華」不是手機門號，此行未匯入")));
    EXPECT_EQ(members(), (std::vector<Member>{{bookB5("林,小華"), "0933111333", "quoted comma"}}));

    // Told that the first line names the columns, none of which is a known name: nothing is imported.
    runSteps({{w("book import") << path(QStringLiteral("in.csv")) << w("--header yes"), 1, {"您至少必須對應"}},
              {w("book import") << path(QStringLiteral("in.csv")) << w("--header maybe"), 1}});
    EXPECT_EQ(members().size(), 1u);
}

TEST_F(CliBookTest, ListInBig5KeepsTheBytesOfTheBook) {
    book.putMember(test::member(1, bookB5("許功蓋"), "0911", "a\tb\x1b[2J"));
    book.putGroup(test::group(-5, {{2, 1}}));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
    const CliRun r = run(w("book list --big5"));
    ASSERT_EQ(r.exitCode, 0);
    // The second byte of 許 and 功 is a backslash, which stays as it is; the tab is written as \t, and the
    // escape that would clear a terminal as \x1B.
    EXPECT_EQ(r.stdoutBytes, "member\t1\t" + bookB5("許功蓋") + "\t0911\ta\\tb\\x1B[2J\ngroup\t-5\t\t1\n");
}

// What a damaged book lists is not all it held: the warning, the members that could be read, and exit 2, so a
// script does not take the list for the whole book.
TEST_F(CliBookTest, ListOfADamagedBookWarnsAndExitsTwo) {
    book.putMember(test::member(1, "Amy", "0911"));
    book.putMember(test::member(2, "Bob", "0922"));
    ASSERT_TRUE(SaveAddressBook(book, bookPath()).ok);
    const CliRun whole = run(w("book list"));
    EXPECT_EQ(whole.exitCode, 0);
    QFile file(bookPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() - 10)); // the last member cut short
    file.close();
    const CliRun cut = run(w("book list"));
    EXPECT_EQ(cut.exitCode, 2) << cut.err.toStdString();
    EXPECT_FALSE(cut.err.isEmpty());
    EXPECT_TRUE(cut.out.startsWith(QStringLiteral("member\t1\tAmy"))) << cut.out.toStdString();
}

} // namespace
} // namespace norvi

#endif // NORVI_CLI_PATH
