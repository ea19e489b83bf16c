#include "core/exchange/AddressText.h"
#include "core/exchange/AddressRecords.h"
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
    const AddressRecords records = ReadAddressRecords(f, ',', HeaderChoice::Auto);
    ASSERT_EQ(records.records.size(), 4u);
    EXPECT_EQ(records.records[0].line, 2);
    EXPECT_TRUE(records.header);
    EXPECT_TRUE(ReadAddressRecords(ParseAddressText(" \r\n\t"), ',', HeaderChoice::Auto).records.empty());
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

TEST(AddressTextTest, HeaderMapsTheKnownNamesOnceEach) {
    const auto mapping = [](const char* header) {
        const AddressTextFile f = ParseAddressText("\r\n" + textB5(header) + "\r\n");
        return ColumnMapping::fromRecords(ReadAddressRecords(f, ',', HeaderChoice::Yes));
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

    // Empty columns get a caption by their number; the description's own name and the English names in any
    // case map too, blanks around a name do not matter.
    const ColumnMapping gaps = mapping(",說明, 行動電話");
    EXPECT_EQ(mappingCaptions(gaps), strings({"欄 1", "說明", "行動電話"}));
    EXPECT_EQ(codes(gaps), (std::vector<int>{0, 3, 2}));
    EXPECT_EQ(codes(mapping("MSISDN,Name,desc")), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(codes(mapping("名稱,說明,備註")), (std::vector<int>{1, 3, 0}));

    EXPECT_TRUE(ColumnMapping::fromHeader({}).rows().empty());
}

namespace {

// A file's records as one text: columns joined by "|", records by " / ", a refused record as "!" and its
// first line's number; "H:" in front when the first record names the columns.
QString recordsText(const QByteArray& bytes, char delimiter, HeaderChoice choice) {
    const AddressRecords r = ReadAddressRecords(ParseAddressText(bytes), delimiter, choice);
    QStringList records;
    for (const AddressRecord& record : r.records) {
        if (!record.problem.isEmpty()) {
            records << QStringLiteral("!%1").arg(record.line + 1);
            continue;
        }
        QStringList columns;
        for (const QByteArray& column : record.columns)
            columns << fromBig5(column);
        records << columns.join(QLatin1Char('|'));
    }
    return (r.header ? QStringLiteral("H:") : QString()) + records.join(QStringLiteral(" / "));
}

} // namespace

// Comma-separated files are read as spreadsheets write them; the space type has no quoting. Whether the first
// line names the columns is guessed from it (no telephone number there: names) unless it is given.
TEST(AddressTextTest, QuotedFieldsAndTheHeaderAreReadAsSpreadsheetsWriteThem) {
    using H = HeaderChoice;
    const struct {
        const char* bytes;
        char delimiter;
        HeaderChoice choice;
        const char* expected;
    } cases[] = {
        {"\"林,小華\",0933111333,quoted comma\n", ',', H::Auto, "林,小華|0933111333|quoted comma"},
        {"名稱,行動電話\r\n\"a \"\"b\"\" c\",0912\r\n", ',', H::Auto, "H:名稱|行動電話 / a \"b\" c|0912"},
        {"Lin,0912,\"one\r\n\r\ntwo\"\r\nWu,0913\r\n", ',', H::Auto, "Lin|0912|one\r\n\r\ntwo / Wu|0913"},
        // Blanks around a quoted field go; text after its closing quote stays; a quote inside a field is text.
        {"  \"Lin\" ,0912, 5\" disk\n", ',', H::Auto, "Lin|0912| 5\" disk"},
        {"a,b,\"c,d\",e\n", ',', H::No, "a|b|\"c,d\",e"},
        {"a,\n,\n", ',', H::No, "a| / |"},
        // A quote never closed refuses its own line; the next line is read as it stands.
        {"\"Lin,0912\nWu,0913\n", ',', H::Auto, "!1 / Wu|0913"},
        {"\"Wu Ming\" 0912000001\n", ' ', H::Auto, "\"Wu|Ming\"|0912000001"},
        {"Wu 0944111222 space-one\nChen 0944111333\n", ' ', H::Auto, "Wu|0944111222|space-one / Chen|0944111333"},
        {"Name,Phone\nA,1\n", ',', H::Auto, "H:Name|Phone / A|1"},
        {"x,@0911-222;0922 333 444\n", ',', H::Auto, "x|@0911-222;0922 333 444"},
        {"x,(02)2345-6789\n", ',', H::Auto, "x|(02)2345-6789"},
        {"x,12\n", ',', H::Auto, "H:x|12"}, // too short for a number
        {"Lin,0912\n", ',', H::Yes, "H:Lin|0912"},
        {"name,msisdn\n", ',', H::No, "name|msisdn"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(recordsText(textB5(c.bytes), c.delimiter, c.choice), QString::fromUtf8(c.expected)) << c.bytes;

    // A stray quote ahead of many lines refuses only its line, whatever follows.
    QByteArray many = "\"stray,0911\n";
    for (int i = 0; i < 5000; ++i)
        many += "m" + QByteArray::number(i) + ",0912\n";
    const AddressRecords r = ReadAddressRecords(ParseAddressText(many), ',', HeaderChoice::No);
    ASSERT_EQ(r.records.size(), 5001u);
    EXPECT_EQ(r.records[0].problem, QStringLiteral("的雙引號沒有成對"));
    EXPECT_EQ(r.records[1].columns.first(), "m0");
}

// Without names the columns are captioned with the first data line and mapped by what they hold.
TEST(AddressTextTest, AFileWithoutNamesIsMappedByWhatItsColumnsHold) {
    const auto mapping = [](const char* bytes, char delimiter) {
        return ColumnMapping::fromRecords(
            ReadAddressRecords(ParseAddressText(textB5(bytes)), delimiter, HeaderChoice::No));
    };
    const ColumnMapping quoted = mapping("\"林,小華\",0933111333,quoted comma\n", ',');
    EXPECT_EQ(mappingCaptions(quoted), strings({"欄 1：林,小華", "欄 2：0933111333", "欄 3：quoted comma"}));
    EXPECT_EQ(codes(quoted), (std::vector<int>{1, 2, 3}));
    // The number first; a later line with more columns adds a row; no number at all keeps the export's order.
    EXPECT_EQ(codes(mapping("0912000001 Wu\n0912000002 Chen note\n", ' ')), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(codes(mapping("a,b,c\n", ',')), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(mappingCaptions(mapping("a,,0912345678901234567890123\n", ',')).at(1), QStringLiteral("欄 2"));
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
        EXPECT_EQ(ReadAddressRecords(f, ',', HeaderChoice::Auto).headerColumns(), strings({"名稱", "行動電話"}));
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
    const struct {
        const char* typed;
        int filter;
        const char* saved;
    } cases[] = {{"/t/book", 0, "/t/book.csv"},       {"/t/book.CSV", 0, "/t/book.CSV"},
                 {"/t/a.csv.csv", 0, "/t/a.csv.csv"}, {"/t/book.csv", 1, "/t/book.csv.txt"},
                 {"/t/book.txt", 1, "/t/book.txt"},   {"/t/book", 2, "/t/book"}};
    for (const auto& c : cases)
        EXPECT_EQ(WithExportExtension(QString::fromUtf8(c.typed), c.filter), QString::fromUtf8(c.saved)) << c.typed;
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

    // What is no text list is refused as a whole; a text list keeps its lines beside a bad one, NUL or not.
    QByteArray picture("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    for (int i = 0; i < 4096; ++i)
        picture += char(i * 37 % 251);
    const QByteArray nul("a\0b\n", 4);
    const struct {
        QByteArray bytes;
        bool read;
    } files[] = {
        {picture, false},
        {QByteArray("\xFF\xFE"
                    "a\0,\0"
                    "1\0\n\0"
                    "b\0,\0"
                    "2\0",
                    16),
         false}, // UTF-16
        {"\xFF\x80\n\n\xFE\xFF\xFF\n", false},
        {nul + nul + "x,0911\n", false},
        {nul + QByteArray("x,0911\n").repeated(2), true},
        {"\xFF\x80\nname,0911\n", true},
    };
    for (const auto& file : files) {
        const QString path = dir.filePath(QStringLiteral("in.csv"));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(file.bytes);
        out.close();
        error.clear();
        EXPECT_EQ(ReadAddressText(path, &f, &error), file.read) << file.bytes.left(20).toHex().constData();
        EXPECT_EQ(error.contains(QStringLiteral("不是文字檔")), !file.read) << error.toStdString();
    }
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
