#include "core/sendlog/LogCsv.h"
#include "core/shared/Big5.h"
#include "support/CsvReader.h"

#include <gtest/gtest.h>

namespace norvi {
namespace {

using test::readCsv;

struct FieldCase {
    const char* name;
    QByteArray in;
    QByteArray expected;
};

class CsvFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, QuotesOnlyWhatMustBeQuoted) {
    EXPECT_EQ(CsvField(GetParam().in), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, CsvFieldTest,
                         ::testing::Values(FieldCase{"Plain", "0912345678", "0912345678"}, FieldCase{"Empty", "", ""},
                                           FieldCase{"Comma", "a,b", "\"a,b\""},
                                           FieldCase{"Quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
                                           FieldCase{"LineFeed", "a\nb", "\"a\nb\""},
                                           FieldCase{"CarriageReturn", "a\rb", "\"a\rb\""},
                                           // 許 is B3 5C in Big5: a trail byte that is a backslash needs no quoting.
                                           FieldCase{"Big5", big5("許功蓋"), big5("許功蓋")}),
                         [](const auto& info) { return std::string(info.param.name); });

SendLogRow sampleRow(const char* caption, const char* content) {
    SendLogRow row;
    row.texts = {big5(caption), "0912345678", "20240102030405", "0", big5("訊息已成功送出(MsgId:7)"), "", "",
                 big5(content)};
    row.image = ImageTyped;
    return row;
}

std::vector<SendLogRow> trickyRows() {
    return {sampleRow("王小明", "您好, \"朋友\"\r\n第二行"), sampleRow("", "plain"), sampleRow("A,B", "")};
}

TEST(LogCsvTest, Utf8FileHasBomHeaderAndEveryCellBackAfterParsing) {
    const QByteArray csv = LogCsv(trickyRows(), CsvEncoding::Utf8WithBom);
    ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    const auto table = readCsv(csv.mid(3));
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.records.size(), 4);
    const QList<QByteArray> header = table.records.first();
    ASSERT_EQ(header.size(), kSendLogColumns);
    EXPECT_EQ(QString::fromUtf8(header[0]), QStringLiteral("名稱"));
    EXPECT_EQ(QString::fromUtf8(header[1]), QStringLiteral("行動電話"));
    EXPECT_EQ(QString::fromUtf8(header[7]), QStringLiteral("訊息內容"));
    const auto rows = trickyRows();
    for (int r = 0; r < 3; ++r) {
        ASSERT_EQ(table.records[r + 1].size(), kSendLogColumns) << "row " << r;
        for (int c = 0; c < kSendLogColumns; ++c)
            EXPECT_EQ(QString::fromUtf8(table.records[r + 1][c]), fromBig5(rows[r].texts[c])) << r << "," << c;
    }
}

TEST(LogCsvTest, Big5FileKeepsTheStoredBytesWithoutBom) {
    const QByteArray csv = LogCsv(trickyRows(), CsvEncoding::Big5);
    EXPECT_FALSE(csv.startsWith("\xEF\xBB\xBF"));
    const auto table = readCsv(csv);
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.records.size(), 4);
    EXPECT_EQ(table.records[0][4], big5("傳送結果"));
    EXPECT_EQ(table.records[1][7], trickyRows()[0].texts[ColContent]);
    EXPECT_TRUE(csv.endsWith("\r\n"));
}

struct GuardCase {
    const char* name;
    QByteArray cell;
    QByteArray safe; // what the spreadsheet-safe file holds; --raw keeps `cell`
};

class SpreadsheetGuardTest : public ::testing::TestWithParam<GuardCase> {};

// Every column carries the cell: codes and numbers come from files, results from the gateway.
TEST_P(SpreadsheetGuardTest, FormulaStartsGetAQuoteRawKeepsTheCell) {
    const GuardCase& c = GetParam();
    EXPECT_EQ(SpreadsheetSafeCell(c.cell), c.safe);
    SendLogRow row;
    row.texts.fill(c.cell);
    for (const CsvCells cells : {CsvCells::SpreadsheetSafe, CsvCells::Raw}) {
        const auto table = readCsv(LogCsv({row}, CsvEncoding::Big5, cells));
        ASSERT_TRUE(table.ok);
        ASSERT_EQ(table.records.size(), 2);
        for (int column = 0; column < kSendLogColumns; ++column)
            EXPECT_EQ(table.records[1].value(column), cells == CsvCells::Raw ? c.cell : c.safe) << column;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FirstCharacters, SpreadsheetGuardTest,
    ::testing::Values(GuardCase{"Equals", "=HYPERLINK(\"http://x\",\"y\")", "'=HYPERLINK(\"http://x\",\"y\")"},
                      GuardCase{"Plus", "+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
                      GuardCase{"Minus", "-2+3", "'-2+3"}, GuardCase{"At", "@SUM(A1)", "'@SUM(A1)"},
                      GuardCase{"Tab", "\t=1+1", "'\t=1+1"}, GuardCase{"CarriageReturn", "\r=1", "'\r=1"},
                      GuardCase{"NegativeCode", "-1", "-1"},
                      GuardCase{"InternationalNumber", "+886912345678", "+886912345678"},
                      GuardCase{"Decimal", "-3.5", "-3.5"}, GuardCase{"SignAlone", "-", "'-"},
                      GuardCase{"TrailingPoint", "+1.", "'+1."}, GuardCase{"Ordinary", "0912345678", "0912345678"},
                      GuardCase{"EqualsInside", "a=b", "a=b"}, GuardCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogCsvTest, EmptyLogIsTheHeaderAlone) {
    const auto table = readCsv(LogCsv({}, CsvEncoding::Big5));
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.records.size(), 1);
    EXPECT_EQ(table.records[0].size(), kSendLogColumns);
}

} // namespace
} // namespace norvi
