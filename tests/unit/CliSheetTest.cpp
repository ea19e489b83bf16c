#include "core/addressbook/BookFile.h"
#include "core/shared/XlsxReader.h"
#include "core/shared/XlsxWriter.h"
#include "support/BookRecords.h"
#include "support/CliFixture.h"
#include "support/XlsxParts.h"

#include <QFileInfo>

#ifdef NORVI_CLI_PATH

namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::says;
using test::SheetXml;
using test::textList;
using test::WorkbookParts;

std::vector<QStringList> sheetRows(const QString& path) {
    XlsxReader reader;
    std::vector<QStringList> rows;
    if (!reader.open(path)) {
        ADD_FAILURE() << reader.error().toStdString();
        return rows;
    }
    SheetRow row;
    while (reader.nextRow(&row)) {
        QStringList cells;
        for (const SheetCell& cell : row.cells)
            cells << cell.text;
        rows.push_back(cells);
    }
    EXPECT_TRUE(reader.error().isEmpty()) << reader.error().toStdString();
    return rows;
}

class CliSheetTest : public CliTest {
protected:
    void writeSheet(const QString& name, const QStringList& header, const std::vector<QStringList>& rows) {
        QString error;
        ASSERT_TRUE(WriteXlsxTable(path(name), header, rows, &error)) << error.toStdString();
    }
};

TEST_F(CliSheetTest, WorkbookListFillsTemplatesAndSendsEveryRowOnce) {
    writeSheet(QStringLiteral("名單.xlsx"),
               {QStringLiteral("行動電話"), QStringLiteral("姓名"), QStringLiteral("金額")},
               {{QStringLiteral("0911111111"), QStringLiteral("王小明"), QStringLiteral("1,200")},
                {QStringLiteral("0922222222"), QStringLiteral("陳美麗"), QStringLiteral("350")},
                {QStringLiteral("0911111111"), QStringLiteral("王小明"), QStringLiteral("1,200")},
                {QStringLiteral("0933333333"), QStringLiteral("李大同"), QString()}});
    const QStringList args = textList({"send", "--text", QStringLiteral("親愛的$1$您好，金額$2$元"), "--list",
                                       path(QStringLiteral("名單.xlsx")), "--replace", "--log", path("l.log")});
    // The row without an amount lacks "$2$", like a text line with one value: named, not sent as the bare name.
    const CliRun refused = run(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(says(refused.err, QStringLiteral("以下 1 位受訊者的訊息缺少替代欄位的值：第 5 行缺 $2$")));
    const CliRun r = run(QStringList(args) << QStringLiteral("--allow-empty-fields"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::map<QString, QString> contentByNumber;
    for (const QStringList& row : r.rows())
        contentByNumber[row[ColMobile]] = row[ColContent];
    EXPECT_EQ(contentByNumber, (std::map<QString, QString>{
                                   {QStringLiteral("0911111111"), QStringLiteral("親愛的王小明您好，金額1,200元")},
                                   {QStringLiteral("0922222222"), QStringLiteral("親愛的陳美麗您好，金額350元")},
                                   {QStringLiteral("0933333333"), QStringLiteral("親愛的李大同您好，金額元")}}));
    // The repeated row is a duplicate, left out as a text file's would be.
    EXPECT_EQ(sendRequests(), 3);
}

// A cell written on several lines (Alt+Enter) is sent with its line breaks, as the message field sends them; an
// escape is still refused by its row.
TEST_F(CliSheetTest, LineBreaksInACellAreSentAndOtherControlCharactersRefused) {
    const QString notice = QStringLiteral("家長您好：\n明天停課。");
    writeSheet(QStringLiteral("停課.xlsx"), {QStringLiteral("行動電話"), QStringLiteral("訊息")},
               {{QStringLiteral("0944444444"), notice}});
    const CliRun r = run({"send", "--text", "hi", "--list", path(QStringLiteral("停課.xlsx")), "--log", path("s.log")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(sim->requests().size(), 2u); // the login, then the one message
    const sGwRequest sent = sim->requests().back();
    EXPECT_EQ(QByteArray(sent.msg_content, sent.msg_content_len), big5(notice));

    writeSheet(QStringLiteral("escape.xlsx"), {QStringLiteral("行動電話"), QStringLiteral("訊息")},
               {{QStringLiteral("0944444444"), QStringLiteral("明天\x1b[0m停課")}});
    const CliRun refused =
        run({"send", "--text", "hi", "--list", path(QStringLiteral("escape.xlsx")), "--log", path("e.log")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(says(refused.err, QStringLiteral("發訊名單第 2 行有看不見的控制字元（U+001B）")));
}

TEST_F(CliSheetTest, NumberCellsGetTheirZeroBackOnlyWhereItIsSureAndElseNothingIsSent) {
    SheetXml good;
    good.row(1, R"(<c><v>933333333</v></c><c t="inlineStr"><is><t>您好</t></is></c>)");
    good.row(2, R"(<c t="inlineStr"><is><t>0944444444</t></is></c>)");
    writeFile("good.xlsx", WorkbookParts::standard(good.xml(), QByteArray()).zip());
    const CliRun sent = run({"send", "--text", "hi", "--list", path("good.xlsx"), "--log", path("g.log")});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(sentNumbers(), (std::vector<QByteArray>{"0933333333", "0944444444"}));

    SheetXml landline = good;
    landline.row(3, R"(<c><v>223456789</v></c>)");
    QByteArray encrypted("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    encrypted += QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    const QByteArray damaged = WorkbookParts::standard(good.xml(), QByteArray()).zip();
    const struct {
        const char* name;
        QByteArray bytes;
        QString refusal;
    } cases[] = {
        {"landline.xlsx", WorkbookParts::standard(landline.xml(), QByteArray()).zip(),
         QStringLiteral("第 3 列的電話號碼 223456789 是數值儲存格")},
        {"locked.xlsx", encrypted, QStringLiteral("有密碼保護")},
        {"cut.xlsx", damaged.left(damaged.size() - 30), QStringLiteral("不是 Excel 活頁簿")},
        {"strings.xlsx",
         WorkbookParts::standard(R"(<worksheet><sheetData><row><c t="s"><v>3</v></c></row></sheetData></worksheet>)",
                                 "<sst><si><t>0911</t></si></sst>")
             .zip(),
         QStringLiteral("共用字串表已損壞")},
    };
    for (const auto& c : cases) {
        writeFile(c.name, c.bytes);
        const CliRun r = run({"send", "--text", "hi", "--list", path(c.name), "--log", path("x.log")});
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_TRUE(r.err.contains(c.refusal)) << c.name << ": " << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path("x.log"))) << c.name;
    }
    EXPECT_EQ(sendRequests(), 2);
}

TEST_F(CliSheetTest, BookRoundTripsThroughAWorkbookWithChineseLeadingZerosAndLongCells) {
    const QByteArray desc = big5(QString(100, QChar(0x8AAA))); // 200 bytes, the whole field
    book.putMember(test::member(5, big5(QStringLiteral("王小明")), "0912345678", desc));
    book.putMember(test::member(6, "=SUM(A1)", "@0223456789;0933000111", big5(QStringLiteral("北區, 業務"))));
    ASSERT_TRUE(SaveAddressBook(book, path(QStringLiteral("AddressBook.bin"))).ok);
    const auto before = members();

    const CliRun exported = run({"book", "export", path("book.xlsx")});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_EQ(sheetRows(path("book.xlsx")).front(),
              (QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("備註")}));
    const CliRun imported = run({"book", "import", path("book.xlsx")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    auto after = members();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(std::vector(after.begin() + 2, after.end()), before);

    // A sheet from elsewhere: 64 KB cells are cut to the fields, a number cell is given its 0 back, and a
    // number cell that cannot be told back is named by its row.
    SheetXml sheet;
    sheet.row(1, R"(<c t="inlineStr"><is><t>名稱</t></is></c><c t="inlineStr"><is><t>行動電話</t></is></c>)"
                 R"(<c t="inlineStr"><is><t>備註</t></is></c>)");
    const QByteArray longText = QString(21846, QChar(0x738B)).toUtf8();
    sheet.row(2, QByteArray(R"(<c t="inlineStr"><is><t>)" + longText +
                            R"(</t></is></c><c><v>912000111</v></c>)"
                            R"(<c t="inlineStr"><is><t>)" +
                            longText + "</t></is></c>")
                     .constData());
    sheet.row(4, R"(<c t="inlineStr"><is><t>B</t></is></c><c><v>22345678</v></c>)");
    writeFile("other.xlsx", WorkbookParts::standard(sheet.xml(), QByteArray()).zip());
    const CliRun other = run({"book", "import", path("other.xlsx")});
    EXPECT_EQ(other.exitCode, 2) << other.err.toStdString();
    EXPECT_TRUE(other.err.contains(QStringLiteral("之第4行門號 22345678 是數值儲存格"))) << other.err.toStdString();
    after = members();
    ASSERT_EQ(after.size(), 5u);
    const QByteArray wang = big5(QString(50, QChar(0x738B)));
    EXPECT_EQ(after.back(), std::make_tuple(wang, QByteArray("0912000111"), wang + wang));
}

TEST_F(CliSheetTest, Log2csvWritesTheLogAsTextCellsAndNeverOverAProgramFile) {
    ASSERT_EQ(run({"send", "--text", QStringLiteral("您好"), "--log", path("l.log"), "0911111111"}).exitCode, 0);
    const CliRun r = run({"log2csv", path("l.log"), "--xlsx", path("l.xlsx")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    const std::vector<QStringList> rows = sheetRows(path("l.xlsx"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[1].contains(QStringLiteral("0911111111")));
    EXPECT_TRUE(rows[1].contains(QStringLiteral("您好")));

    const QByteArray log = readBytes("l.log");
    for (const QString& own : {path("NorviSMSAp.cfg"), path("l.log")}) {
        const CliRun refused = run({"log2csv", path("l.log"), "--xlsx", own});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_FALSE(refused.err.isEmpty());
    }
    EXPECT_EQ(readBytes("l.log"), log) << "the log was written over";
}

} // namespace
} // namespace norvi

#endif
