#include "support/XlsxParts.h"

#include "core/compose/ListFileSheet.h"
#include "core/sendlog/TableFileWriter.h"
#include "core/shared/Big5.h"
#include "core/shared/SaveFile.h"
#include "core/shared/XlsxReader.h"
#include "core/shared/XlsxWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

namespace norvi {
namespace {

using test::SheetXml;
using test::WorkbookParts;

std::vector<QStringList> readAll(XlsxReader& reader, std::vector<qint64>* rowNumbers = nullptr,
                                 std::vector<std::vector<bool>>* numbers = nullptr) {
    std::vector<QStringList> rows;
    SheetRow row;
    while (reader.nextRow(&row)) {
        QStringList cells;
        std::vector<bool> numeric;
        for (const SheetCell& cell : row.cells) {
            cells << cell.text;
            numeric.push_back(cell.number);
        }
        rows.push_back(cells);
        if (rowNumbers)
            rowNumbers->push_back(row.row);
        if (numbers)
            numbers->push_back(numeric);
    }
    return rows;
}

TEST(XlsxTest, WrittenTableReadsBackAsTextWithChineseLeadingZerosAndLongCells) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.xlsx"));
    const QString longCell = QString(21846, QChar(0x738B)); // 64 KB of UTF-8
    const std::vector<QStringList> rows = {
        {QStringLiteral("0912345678"), QStringLiteral("王小明"), QStringLiteral("=1+1")},
        {QStringLiteral("00886"), QString(), QStringLiteral("尾")},
        {QStringLiteral("0"), longCell},
        {QStringLiteral("0912000001"), QStringLiteral("多\r\n行\x01"), QStringLiteral("a_b_x")},
    };
    QString error;
    ASSERT_TRUE(WriteXlsxTable(path, {QStringLiteral("行動電話"), QStringLiteral("名稱"), QStringLiteral("備註")}, rows,
                               &error))
        << error.toStdString();
    XlsxReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error().toStdString();
    std::vector<std::vector<bool>> numbers;
    const std::vector<QStringList> read = readAll(reader, nullptr, &numbers);
    EXPECT_TRUE(reader.error().isEmpty()) << reader.error().toStdString();
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[0], (QStringList{QStringLiteral("行動電話"), QStringLiteral("名稱"), QStringLiteral("備註")}));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(read[i + 1], rows[i]) << i;
    for (const auto& row : numbers)
        for (const bool n : row)
            EXPECT_FALSE(n);
    // The writer replaced nothing it should not: a cell past what a spreadsheet holds is refused, the old
    // workbook kept.
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_FALSE(WriteXlsxTable(path, {}, {{QString(kMaxXlsxCellChars + 1, QLatin1Char('x'))}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("第 2 列第 1 欄"))) << error.toStdString();
    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    // Nor one of the program's own files.
    EXPECT_FALSE(WriteXlsxTable(dir.filePath(QStringLiteral("AddressBook.bin")), {}, {}, &error));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("AddressBook.bin"))));
}

// One part of a written workbook, as a spreadsheet program reads it.
QByteArray workbookPart(const QString& path, const char* name) {
    int status = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &status);
    if (!archive)
        return {};
    QByteArray bytes;
    zip_stat_t st;
    if (zip_stat(archive, name, 0, &st) == 0)
        if (zip_file_t* file = zip_fopen(archive, name, 0)) {
            bytes.resize(qsizetype(st.size));
            bytes.resize(qsizetype(std::max<zip_int64_t>(zip_fread(file, bytes.data(), st.size), 0)));
            zip_fclose(file);
        }
    zip_discard(archive);
    return bytes;
}

// A list written a row at a time that fails anywhere on the way (a full disk half-way, the last cell too long
// for a sheet, the file that cannot be put in place) leaves the file it was to replace as it was, and nothing
// beside it.
TEST(XlsxTest, ATableWrittenARowAtATimeReplacesTheFileOnlyWhenWhole) {
    using Kind = TableFileWriter::Kind;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.out"));
    const QStringList header{QStringLiteral("名稱"), QStringLiteral("行動電話")};
    std::vector<QStringList> rows;
    for (int i = 0; i < 3000; ++i) // past what a save holds before its first write
        rows.push_back({QStringLiteral("王小明 %1").arg(i), QStringLiteral("09120%1").arg(i, 5, 10, QLatin1Char('0'))});
    const struct {
        Kind kind;
        int failAt; // a SaveFile::Step, or -1
        bool longLastCell;
    } cases[] = {
        {Kind::Csv, int(SaveFile::Step::Write), false},
        {Kind::Csv, int(SaveFile::Step::Flush), false},
        {Kind::Csv, int(SaveFile::Step::Rename), false},
        {Kind::Workbook, int(SaveFile::Step::Open), false},
        {Kind::Workbook, int(SaveFile::Step::Flush), false},
        {Kind::Workbook, int(SaveFile::Step::Rename), false},
        {Kind::Workbook, -1, true},
    };
    for (const auto& c : cases) {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old list") == 8);
        old.close();
        if (c.failAt >= 0)
            SaveFile::failAtForTest(SaveFile::Step(c.failAt), 1);
        TableFileWriter writer(path, c.kind);
        bool written = writer.open(header);
        for (std::size_t r = 0; written && r < rows.size(); ++r)
            written = writer.addRow(r + 1 < rows.size() || !c.longLastCell
                                        ? rows[r]
                                        : QStringList{QString(kMaxXlsxCellChars + 1, QLatin1Char('x'))});
        written = written && writer.commit();
        SaveFile::clearFaultForTest();
        EXPECT_FALSE(written) << int(c.kind) << " " << c.failAt;
        EXPECT_FALSE(writer.errorString().isEmpty());
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("old list")) << int(c.kind) << " " << c.failAt;
        old.close();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("list.out")})
            << int(c.kind) << " " << c.failAt;
    }
}

TEST(XlsxTest, TextThatLooksLikeAnEscapeIsWrittenSoItShowsAsItIs) {
    struct Case {
        QString text;
        const char* inSheet; // what the sheet's XML must hold for a spreadsheet to show the text
    };
    const std::vector<Case> cases = {
        {QStringLiteral("王_x0041_明"), "王_x005F_x0041_明"},
        {QStringLiteral("_x005F_"), "_x005F_x005F_"},
        {QStringLiteral("_x00e9__x0042_"), "_x005F_x00e9__x005F_x0042_"},
        {QStringLiteral("_xABCD_x0041_"), "_x005F_xABCD_x005F_x0041_"},
        {QStringLiteral("_xABCD") + QChar(1), "_x005F_xABCD_x0001_"},
        {QStringLiteral("多\r\n行\x01\x1f"), "多_x000D_\n行_x0001__x001F_"},
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), "a_x0000_b"},
        // Not an escape: left as typed.
        {QStringLiteral("_x004G_ _X0041_ _x0041 _x41_ x0041_"), "_x004G_ _X0041_ _x0041 _x41_ x0041_"},
        {QStringLiteral("_x０４１２_"), "_x０４１２_"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.xlsx"));
    std::vector<QStringList> rows;
    for (const Case& c : cases)
        rows.push_back({c.text});
    QString error;
    ASSERT_TRUE(WriteXlsxTable(path, {QStringLiteral("名稱")}, rows, &error)) << error.toStdString();
    const QByteArray sheet = workbookPart(path, "xl/worksheets/sheet1.xml");
    ASSERT_FALSE(sheet.isEmpty());
    for (const Case& c : cases)
        EXPECT_TRUE(sheet.contains(c.inSheet)) << c.inSheet;
    XlsxReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error().toStdString();
    const std::vector<QStringList> read = readAll(reader);
    ASSERT_EQ(read.size(), cases.size() + 1);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(read[i + 1], QStringList{cases[i].text}) << i;
}

TEST(XlsxTest, CellsOfEveryKindReadAsTheTextTheSpreadsheetShows) {
    SheetXml sheet;
    sheet.row(1, R"(<c r="A1" t="s"><v>0</v></c><c r="C1" t="s"><v>1</v></c>)");
    sheet.row(3, R"(<c r="A3"><v>912345678</v></c><c r="B3"><v>1.5</v></c><c r="C3"><v>9.12345678E8</v></c>)");
    sheet.row(4, R"(<c t="inlineStr"><is><r><t>王</t></r><r><t xml:space="preserve">小 明</t></r></is></c>)"
                 R"(<c t="b"><v>1</v></c><c t="str"><f>A1</f><v>公式</v></c>)");
    sheet.row(5, R"(<c r="B5" t="s"><v>2</v></c><c r="C5" t="s"><v>3</v></c>)"
                 R"(<c r="D5" t="inlineStr"><is><t>_x000d_x_x00</t></is></c>)");
    sheet.row(6, "");
    const QByteArray strings = R"(<sst><si><t>名稱</t></si><si><r><t>陳</t></r><r><t>美麗</t></r>)"
                               R"(<rPh sb="0" eb="1"><t>ちん</t></rPh></si><si><t/></si>)"
                               R"(<si><t>多_x000D_</t><r><t>行 _x005F_x0041_ _x41_</t></r></si></sst>)";
    const QByteArray bytes = WorkbookParts::standard(sheet.xml(), strings).zip();
    XlsxReader reader;
    ASSERT_TRUE(reader.openBytes(bytes, QStringLiteral("w.xlsx"))) << reader.error().toStdString();
    std::vector<qint64> rowNumbers;
    std::vector<std::vector<bool>> numbers;
    const std::vector<QStringList> rows = readAll(reader, &rowNumbers, &numbers);
    EXPECT_TRUE(reader.error().isEmpty()) << reader.error().toStdString();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rowNumbers, (std::vector<qint64>{1, 3, 4, 5}));
    EXPECT_EQ(rows[0], (QStringList{QStringLiteral("名稱"), QString(), QStringLiteral("陳美麗")}));
    EXPECT_EQ(rows[1], (QStringList{QStringLiteral("912345678"), QStringLiteral("1.5"), QStringLiteral("912345678")}));
    EXPECT_EQ(numbers[1], (std::vector<bool>{true, true, true}));
    EXPECT_EQ(rows[2], (QStringList{QStringLiteral("王小 明"), QStringLiteral("TRUE"), QStringLiteral("公式")}));
    // A character XML cannot carry stands as _xHHHH_, and a literal "_x" before four hex digits as _x005F_x.
    EXPECT_EQ(rows[3],
              (QStringList{QString(), QString(), QStringLiteral("多\r行 _x0041_ _x41_"), QStringLiteral("\rx_x00")}));
}

TEST(XlsxTest, WhatIsNoReadableWorkbookIsRefusedInTheProgramsWords) {
    QByteArray encrypted("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    encrypted += QByteArray(500, '\0');
    encrypted += QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    QByteArray oldFormat("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    oldFormat += QByteArray(500, '\0');
    SheetXml sheet;
    sheet.row(1, R"(<c t="s"><v>5</v></c>)");
    const QByteArray badIndex = WorkbookParts::standard(sheet.xml(), "<sst><si><t>a</t></si></sst>").zip();
    const QByteArray badStrings = WorkbookParts::standard(sheet.xml(), "<sst><si><t>a</t></s").zip();
    SheetXml plain;
    plain.row(1, "<c><v>1</v></c>");
    const QByteArray cutSheet = WorkbookParts::standard(plain.xml().chopped(30), QByteArray()).zip();
    WorkbookParts noWorkbook;
    noWorkbook.parts["word/document.xml"] = "<w/>";
    QByteArray hugeStrings = "<sst>";
    while (hugeStrings.size() <= kMaxSharedStringsBytes)
        hugeStrings += QByteArray("<si><t>") + QByteArray(4096, 'a') + "</t></si>";
    QByteArray longRun = "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>";
    longRun += QByteArray(2 * 1024 * 1024, 'x');
    longRun += "</t></is></c></row></sheetData></worksheet>";
    const struct {
        const char* name;
        QByteArray bytes;
        QString refusal;
        bool opens; // the refusal comes with the rows
    } cases[] = {
        {"text", "0912345678,hello\r\n", QStringLiteral("不是 Excel 活頁簿"), false},
        {"encrypted", encrypted, QStringLiteral("有密碼保護（已加密）"), false},
        {"old format", oldFormat, QStringLiteral("舊版 Excel 活頁簿（.xls）"), false},
        {"other package", noWorkbook.zip(), QStringLiteral("不是 Excel 活頁簿"), false},
        {"cut zip", badIndex.left(badIndex.size() / 2), QStringLiteral("不是 Excel 活頁簿"), false},
        {"string index", badIndex, QStringLiteral("共用字串表已損壞"), true},
        {"string table", badStrings, QStringLiteral("共用字串表已損壞"), false},
        {"zip bomb", WorkbookParts::standard(sheet.xml(), hugeStrings).zip(), QStringLiteral("超過 32 MB"), false},
        {"cut sheet", cutSheet, QStringLiteral("已損壞"), true},
        {"markup-free run", WorkbookParts::standard(longRun, QByteArray()).zip(), QStringLiteral("已損壞"), true},
    };
    for (const auto& c : cases) {
        XlsxReader reader;
        const bool opened = reader.openBytes(c.bytes, QStringLiteral("名單.xlsx"));
        EXPECT_EQ(opened, c.opens) << c.name << ": " << reader.error().toStdString();
        if (opened)
            readAll(reader);
        EXPECT_TRUE(reader.error().contains(c.refusal)) << c.name << ": " << reader.error().toStdString();
        EXPECT_TRUE(reader.error().contains(QStringLiteral("名單.xlsx"))) << c.name;
    }
}

TEST(XlsxTest, SheetRowsBecomeTheListLinesATextFileWouldHold) {
    const auto row = [](qint64 number, std::vector<SheetCell> cells) {
        SheetRow r;
        r.row = number;
        r.cells = std::move(cells);
        return r;
    };
    const auto text = [](const char* t) { return SheetCell{QString::fromUtf8(t), false}; };
    const auto num = [](const char* t) { return SheetCell{QString::fromUtf8(t), true}; };
    std::vector<SheetCell> wideRow(28, text("x"));
    wideRow[0] = text("0912345678");
    wideRow[27] = text("$5");
    const struct {
        SheetRow row;
        bool first;
        bool ok;
        bool header;
        QString line;                // or a piece of the refusal
        std::size_t headerCells = 0; // what the sheet's header row fills
    } cases[] = {
        {row(1, {text("行動電話"), text("姓名")}), true, true, true, QString()},
        {row(2, {text("電話")}), false, true, false, QStringLiteral("電話 ")},
        {row(2, {num("912345678"), text("您好")}), true, true, false, QStringLiteral("0912345678 您好")},
        {row(2, {num("886912345678")}), false, true, false, QStringLiteral("886912345678 ")},
        {row(7, {num("223456789")}), false, false, false, QStringLiteral("第 7 列的電話號碼 223456789 是數值儲存格")},
        {row(8, {num("1.5")}), false, false, false, QStringLiteral("第 8 列")},
        {row(3, {text(" 0912 345,678 "), text("$王$$50$")}), false, true, false, QStringLiteral("0912345678 $王$$50$")},
        {row(3, {text("0912345678"), text("王"), SheetCell(), text("50"), SheetCell()}), false, true, false,
         QStringLiteral("0912345678 $王$$ $$50$")},
        {row(4, {text("0912345678"), text("😀")}), false, false, false, QStringLiteral("第 4 列")},
        // A value with a "$" of its own would be read back as other values than its cells.
        {row(5, {text("0912345678"), text("王小明"), text("NT$1,200")}), false, false, false,
         QStringLiteral("第 5 列 C 欄的「NT$1,200」含有「$」")},
        {row(6, wideRow), false, false, false, QStringLiteral("第 6 列 AB 欄的「$5」")},
        // Under a header of two value columns a row whose second value is blank still gives its first as "$1$",
        // not as the whole text; under a header of one, column B is the text as before.
        {row(7, {text("0912345678"), text("李大同"), text(" ")}), false, true, false,
         QStringLiteral("0912345678 $李大同$"), 3},
        {row(8, {text("0912345678"), text("您好")}), false, true, false, QStringLiteral("0912345678 您好"), 2},
    };
    for (const auto& c : cases) {
        QByteArray line;
        bool header = false;
        QString problem;
        const bool ok =
            SheetRowListLine(c.row, c.first, c.headerCells, QStringLiteral("l.xlsx"), &line, &header, &problem);
        EXPECT_EQ(ok, c.ok) << c.line.toStdString() << " " << problem.toStdString();
        EXPECT_EQ(header, c.header) << c.line.toStdString();
        if (c.ok)
            EXPECT_EQ(fromBig5(line), c.line);
        else
            EXPECT_TRUE(problem.contains(c.line)) << problem.toStdString();
    }
}

} // namespace
} // namespace norvi
