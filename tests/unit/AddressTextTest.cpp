#include "core/exchange/AddressText.h"
#include "core/exchange/ColumnMapping.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace norvi;

namespace {

QByteArray textB5(const char* utf8) {
    return big5(QString::fromUtf8(utf8));
}

QStringList strings(std::initializer_list<const char*> utf8) {
    QStringList list;
    for (const char* s : utf8)
        list << QString::fromUtf8(s);
    return list;
}

QStringList mappingCaptions(const ColumnMapping& m) {
    QStringList list;
    for (const MappingRow& row : m.rows())
        list << row.caption;
    return list;
}

std::vector<int> codes(const ColumnMapping& m) {
    std::vector<int> list;
    for (const MappingRow& row : m.rows())
        list.push_back(row.checked ? row.code : -row.code);
    return list;
}

QList<QByteArray> texts(const AddressTextFile& f) {
    QList<QByteArray> list;
    for (const AddressTextLine& line : f.lines)
        list << line.text;
    return list;
}

} // namespace

TEST(AddressTextTest, LinesEndAtAnyLineBreakAndBlankLinesAreSeenThrough) {
    const AddressTextFile f = ParseAddressText("\r\n \t\r" + textB5("名稱") + "\r\nA\nB\rC\r\n\r\n");
    EXPECT_EQ(f.encoding, TextEncoding::Big5);
    ASSERT_EQ(texts(f), (QList<QByteArray>{"", " \t", textB5("名稱"), "A", "B", "C", ""}));
    EXPECT_TRUE(f.lines[0].blank);
    EXPECT_TRUE(f.lines[1].blank);
    EXPECT_FALSE(f.lines[2].blank);
    EXPECT_EQ(f.headerIndex(), 2);
    EXPECT_EQ(ParseAddressText(" \r\n\t").headerIndex(), -1);
    EXPECT_TRUE(ParseAddressText(QByteArray()).lines.empty());
}

TEST(AddressTextTest, ColumnsSplitAtMostTwiceWithEmptyColumnsKept) {
    const auto split = [](const char* line, char d) {
        QList<QByteArray> list;
        for (const QByteArrayView c : SplitColumns(line, d))
            list << c.toByteArray();
        return list;
    };
    EXPECT_EQ(split("a,b,c,d,e", ','), (QList<QByteArray>{"a", "b", "c,d,e"}));
    EXPECT_EQ(split("a,", ','), (QList<QByteArray>{"a", ""}));
    EXPECT_EQ(split("ab", ','), (QList<QByteArray>{"ab"}));
    // Two spaces in a row make an empty column; a tab is no separator.
    EXPECT_EQ(split("a  b\tc d", ' '), (QList<QByteArray>{"a", "", "b\tc d"}));
    EXPECT_EQ(ExchangeDelimiter(0), ',');
    EXPECT_EQ(ExchangeDelimiter(1), ' ');
}

TEST(AddressTextTest, CutsKeepWholeCharacters) {
    const QByteArray name = "a" + textB5("王小明"); // 7 bytes
    EXPECT_EQ(CutBig5(name, 7), name);
    EXPECT_EQ(CutBig5(name, 6), "a" + textB5("王小"));
    EXPECT_EQ(CutBig5(name, 4), "a" + textB5("王"));
    EXPECT_EQ(CutBig5("abc", 2), "ab");
}

TEST(AddressTextTest, HeaderMapsTheKnownNamesOnceEach) {
    const auto mapping = [](const char* header) {
        const AddressTextFile f = ParseAddressText("\r\n" + textB5(header) + "\r\n");
        return ColumnMapping::fromHeader(f.headerColumns(','));
    };
    const ColumnMapping all = mapping("  名稱,行動電話,備註  ");
    EXPECT_EQ(mappingCaptions(all), strings({"名稱", "行動電話", "備註"}));
    EXPECT_EQ(codes(all), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(all.columnCodes(), (std::array<int, 3>{1, 2, 3}));

    const ColumnMapping twice = mapping("名稱,名稱");
    EXPECT_EQ(codes(twice), (std::vector<int>{1, 0}));

    const ColumnMapping five = mapping("A,B,C,D,E");
    EXPECT_EQ(mappingCaptions(five), strings({"A", "B", "C,D,E"}));
    EXPECT_EQ(codes(five), (std::vector<int>{0, 0, 0}));
    EXPECT_FALSE(five.mapsNameOrNumber());

    // Empty columns get a caption by their number; case and surrounding text matter.
    const ColumnMapping gaps = mapping(",說明, 行動電話");
    EXPECT_EQ(mappingCaptions(gaps), strings({"欄 1", "說明", " 行動電話"}));
    EXPECT_EQ(codes(gaps), (std::vector<int>{0, 0, 0}));

    EXPECT_TRUE(ColumnMapping::fromHeader({}).rows().empty());
}

TEST(AddressTextTest, AssigningAFieldTakesItFromTheOtherColumn) {
    ColumnMapping m = ColumnMapping::fromHeader({QStringLiteral("行動電話"), QStringLiteral("x"), QStringLiteral("y")});
    m.assign(2, FieldMsisdn, true);
    EXPECT_EQ(codes(m), (std::vector<int>{0, 0, 2}));
    EXPECT_EQ(m.columnCodes(), (std::array<int, 3>{0, 0, 2}));
    m.assign(0, FieldName, false); // assigned but not imported
    EXPECT_EQ(codes(m), (std::vector<int>{-1, 0, 2}));
    EXPECT_EQ(m.columnCodes(), (std::array<int, 3>{0, 0, 2}));
    m.assign(2, FieldNone, true); // the empty item clears and unchecks
    EXPECT_EQ(codes(m), (std::vector<int>{-1, 0, 0}));
    EXPECT_FALSE(m.mapsNameOrNumber());
    m.setChecked(0, true);
    EXPECT_TRUE(m.mapsNameOrNumber());

    ColumnMapping out = ColumnMapping::forExport();
    EXPECT_EQ(mappingCaptions(out), strings({"名稱", "行動電話", "說明"}));
    out.setChecked(0, false);
    EXPECT_EQ(out.exportFlags(), (std::array<bool, 3>{false, true, true}));
    out.setChecked(1, false);
    out.setChecked(2, false);
    EXPECT_FALSE(out.anyChecked());
}

TEST(AddressTextTest, Utf8FilesWithAndWithoutByteOrderMarkBecomeBig5) {
    const QByteArray text("名稱,行動電話\r\n王小明,0912\r\n");
    for (const QByteArray& bytes : {text, QByteArray(QByteArray("\xEF\xBB\xBF") + text)}) {
        const AddressTextFile f = ParseAddressText(bytes);
        EXPECT_EQ(f.encoding, bytes.startsWith('\xEF') ? TextEncoding::Utf8WithBom : TextEncoding::Utf8);
        EXPECT_EQ(texts(f), (QList<QByteArray>{textB5("名稱,行動電話"), textB5("王小明,0912")}));
        EXPECT_EQ(f.headerColumns(','), strings({"名稱", "行動電話"}));
    }
    // Plain ASCII, and Big5 that happens not to be UTF-8, stay the bytes they are.
    EXPECT_EQ(ParseAddressText("a,b").encoding, TextEncoding::Big5);
    EXPECT_EQ(ParseAddressText(textB5("王小明")).encoding, TextEncoding::Big5);
}

TEST(AddressTextTest, LinesThatAreNoTextCarryTheirProblemAndTheRestIsRead) {
    // A UTF-8 line with a character that has no Big5 form: never stored with a "?".
    const AddressTextFile emoji = ParseAddressText(QByteArray("名稱\n陳\xF0\x9F\x98\x80\n林\n"));
    ASSERT_EQ(emoji.lines.size(), 3u);
    EXPECT_TRUE(emoji.lines[1].text.isEmpty());
    EXPECT_TRUE(emoji.lines[1].problem.contains(QStringLiteral("U+1F600"))) << emoji.lines[1].problem.toStdString();
    EXPECT_EQ(emoji.lines[1].shown, QString::fromUtf8(QByteArray("陳\xF0\x9F\x98\x80")));
    EXPECT_EQ(emoji.lines[2].text, textB5("林"));

    // Mostly Big5 with a broken line and a NUL: the good lines stay Big5, the others are named.
    const AddressTextFile broken = ParseAddressText(textB5("名稱\n王小明\n") + "\xA4\n" + QByteArray("a\0b", 3));
    EXPECT_EQ(broken.encoding, TextEncoding::Big5);
    EXPECT_EQ(broken.lines[1].text, textB5("王小明"));
    EXPECT_EQ(broken.lines[2].problem, QStringLiteral("不是Big5文字"));
    EXPECT_FALSE(broken.lines[3].problem.isEmpty());

    // Mostly UTF-8 with a Latin-1 byte in one line.
    const AddressTextFile latin = ParseAddressText(QByteArray("名稱\n王小明\n林美\ncaf\xE9\n"));
    EXPECT_EQ(latin.encoding, TextEncoding::Utf8);
    EXPECT_EQ(latin.lines[2].text, textB5("林美"));
    EXPECT_EQ(latin.lines[3].problem, QStringLiteral("不是UTF-8文字"));
}

TEST(AddressTextTest, ExportNamesGetTheFiltersExtension) {
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/book"), 0), QStringLiteral("/t/book.csv"));
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/book.CSV"), 0), QStringLiteral("/t/book.CSV"));
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/a.csv.csv"), 0), QStringLiteral("/t/a.csv.csv"));
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/book.csv"), 1), QStringLiteral("/t/book.csv.txt"));
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/book.txt"), 1), QStringLiteral("/t/book.txt"));
    EXPECT_EQ(WithExportExtension(QStringLiteral("/t/book"), 2), QStringLiteral("/t/book"));
    EXPECT_EQ(ExchangeInitialFilter(0), 0);
    EXPECT_EQ(ExchangeInitialFilter(1), 1);
}

TEST(AddressTextTest, UnreadableAndMissingFilesAreRefusedInWords) {
    QTemporaryDir dir;
    AddressTextFile f;
    QString error;
    EXPECT_FALSE(ReadAddressText(dir.filePath(QStringLiteral("none.csv")), &f, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("無法讀取"))) << error.toStdString();
    EXPECT_FALSE(ReadAddressText(dir.path(), &f, &error)); // a folder
}

// A line of megabytes is kept to its first 64 KB as read, at a whole character, in either encoding; the
// next line is read as it stands.
TEST(AddressTextTest, ALineOfMegabytesIsCutAndTheNextLineReadWhole) {
    const QString huge = QStringLiteral("王小明,0912000001,a") + QString(3 * 1024 * 1024, QChar(0x4E2D));
    const QByteArray next = "\r\n" + textB5("林美,0912000002");
    const QByteArray inBig5 = big5(huge) + next;
    const QByteArray inUtf8 = huge.toUtf8() + "\r\n" + QByteArray("林美,0912000002");
    const QByteArray keptOfBig5 = big5(huge).left(kMaxAddressLineBytes - 1); // 64 KB falls inside a character
    const QByteArray keptOfUtf8 = big5(QString::fromUtf8(huge.toUtf8().left(kMaxAddressLineBytes)));
    for (const auto& [bytes, kept] : {std::pair(&inBig5, keptOfBig5), std::pair(&inUtf8, keptOfUtf8)}) {
        const AddressTextFile f = ParseAddressText(*bytes);
        ASSERT_EQ(f.lines.size(), 2u);
        EXPECT_TRUE(f.lines[0].problem.isEmpty()) << f.lines[0].problem.toStdString();
        EXPECT_TRUE(f.lines[0].cut);
        EXPECT_EQ(f.lines[0].text, kept);
        EXPECT_EQ(f.lines[1].text, textB5("林美,0912000002"));
    }
}

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

// The file read a piece at a time gives the lines, encoding and problems of the same bytes read whole:
// across line ends of every kind, a CR LF and a line of megabytes that span pieces, a byte-order mark, and
// files that are neither encoding whole. Only the lines past the cap are marked cut.
TEST(AddressTextTest, AFileReadInPiecesReadsAsItsBytesWhole) {
    QTemporaryDir dir;
    // 1.1 MB of short lines, so that pieces end amid the lines around them.
    constexpr std::size_t kFiller = 11000;
    QByteArray filler;
    for (std::size_t i = 0; i < kFiller; ++i)
        filler += QByteArray(99, 'x') + (i % 2 ? "\n" : "\r\n");
    const QByteArray huge = textB5("王") + QByteArray(3 * 1024 * 1024, 'a');
    const QByteArray utf8Huge = QString(2 * 1024 * 1024, QChar(0x4E2D)).toUtf8();
    using E = TextEncoding;
    const struct {
        const char* what;
        QByteArray bytes;
        std::size_t lines;
        TextEncoding encoding;
        std::vector<int> cut;
    } cases[] = {
        {"Big5, every line end",
         textB5("名稱,行動電話\r\n王小明,0911\n") + filler + "\r\n\r林,0922\r",
         kFiller + 5,
         E::Big5,
         {}},
        {"a long Big5 line", textB5("名稱\r\n") + huge + "\r\n" + textB5("林美") + "\n" + huge, 4, E::Big5, {1, 3}},
        {"UTF-8 with a long line", QByteArray("名稱\n") + utf8Huge + "\r\n林美\r\n", 3, E::Utf8, {1}},
        {"byte-order mark",
         QByteArray("\xEF\xBB\xBF名稱\r\n陳\xF0\x9F\x98\x80\r\n") + filler + "\n",
         kFiller + 3,
         E::Utf8WithBom,
         {}},
        {"mostly UTF-8", QByteArray("名稱\n王小明\n林美\ncaf\xE9\n") + filler, kFiller + 4, E::Utf8, {}},
        {"mostly Big5",
         textB5("名稱\n王小明\n") + "\xA4\n" + QByteArray("a\0b", 3) + "\n" + filler,
         kFiller + 4,
         E::Big5,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(QStringLiteral("in.csv"));
        ASSERT_TRUE(writeFile(path, c.bytes));
        AddressTextFile read;
        QString error;
        ASSERT_TRUE(ReadAddressText(path, &read, &error)) << error.toStdString();
        const AddressTextFile whole = ParseAddressText(c.bytes);
        EXPECT_EQ(read.encoding, c.encoding);
        EXPECT_EQ(whole.encoding, c.encoding);
        ASSERT_EQ(read.lines.size(), c.lines);
        ASSERT_EQ(whole.lines.size(), c.lines);
        std::vector<int> cut;
        for (std::size_t i = 0; i < read.lines.size(); ++i) {
            EXPECT_EQ(read.lines[i].text, whole.lines[i].text) << "line " << i;
            EXPECT_EQ(read.lines[i].problem, whole.lines[i].problem) << "line " << i;
            EXPECT_EQ(read.lines[i].blank, whole.lines[i].blank) << "line " << i;
            if (read.lines[i].cut)
                cut.push_back(int(i));
        }
        EXPECT_EQ(cut, c.cut);
    }
}

// What counts against the file limit is what is kept: a file past it made of one huge line is read, with
// that line cut, and a file past it in lines of their own is refused as before.
TEST(AddressTextTest, TheFileLimitCountsWhatIsKeptNotTheLongLinesTail) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.csv"));
    QByteArray bytes = "name,msisdn,desc\nLong,0912000001,";
    bytes += QByteArray(kMaxAddressTextBytes, 'a');
    bytes += "\nShort,0912000002,next\n";
    ASSERT_TRUE(writeFile(path, bytes));
    bytes.clear();
    AddressTextFile f;
    QString error;
    ASSERT_TRUE(ReadAddressText(path, &f, &error)) << error.toStdString();
    ASSERT_EQ(f.lines.size(), 3u);
    EXPECT_TRUE(f.lines[1].cut);
    EXPECT_EQ(f.lines[1].text.size(), kMaxAddressLineBytes);
    EXPECT_EQ(f.lines[2].text, "Short,0912000002,next");

    const QByteArray line = QByteArray(1000, 'b') + '\n';
    QFile many(path);
    ASSERT_TRUE(many.open(QIODevice::WriteOnly));
    for (qint64 written = 0; written <= kMaxAddressTextBytes; written += line.size())
        ASSERT_EQ(many.write(line), line.size());
    many.close();
    EXPECT_FALSE(ReadAddressText(path, &f, &error));
    EXPECT_EQ(error, QStringLiteral("匯入檔%1超過 64 MB，無法匯入。").arg(path));
    EXPECT_TRUE(f.lines.empty());
}
