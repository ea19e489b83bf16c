// The send dialog's list file read a piece at a time: the first reading judges the file as a check of the
// whole file in memory would, naming the same line, wherever the pieces end; the second keeps each line to
// 64 KB and names the lines it cut.
#include "core/compose/ListFileSurvey.h"
#include "core/compose/ListFileInput.h"
#include "core/shared/StopSignal.h"
#include "support/FileBytes.h"

#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

using namespace norvi;

namespace {

// What the checks of the whole file in memory say.
ListFileSurvey wholeFileSurvey(const QByteArray& bytes) {
    ListFileSurvey s;
    s.lines = CountListFileLines(bytes);
    s.nulLine = FirstListLineWithNul(bytes);
    s.notUtf8Line = FirstNonUtf8Line(bytes);
    s.notBig5Line = FirstNonBig5Line(bytes);
    if (s.notUtf8Line == 0) {
        QStringDecoder decoder(QStringConverter::Utf8);
        QByteArray converted;
        toBig5(decoder.decode(bytes), converted, &s.unmappable);
    }
    return s;
}

ListFileSurvey surveyOf(const QByteArray& bytes, qsizetype piece, qint64 limit = 1 << 30) {
    qsizetype at = 0;
    return SurveyListFile(
        [&](char* into, qint64 size) {
            const qint64 n = std::min<qint64>(size, bytes.size() - at);
            std::memcpy(into, bytes.constData() + at, std::size_t(n));
            at += qsizetype(n);
            return n;
        },
        limit, piece);
}

// A file of pieces of text, line ends and bytes that are not text in one encoding or the other; in
// `Mode::Utf8` or `Mode::Big5` mostly text in that encoding, so that its checks run to the end of the file.
enum class Mode { Utf8, Big5, Mixed };
QByteArray randomFile(QRandomGenerator& random, Mode mode) {
    static const QByteArray plain[] = {"0912", " ", ",", "$1$", "\r", "\n", "\r\n", "\r\n"};
    static const QByteArray utf8[] = {"\xE4\xB8\xAD", "\xC3\xA9" /* é: no Big5 form */, "\xEF\xBB\xBF" /* BOM */,
                                      "\xF0\x9F\x98\x80" /* 😀 */};
    static const QByteArray big5[] = {"\xA4\xA4" /* 中 */, "\xA4\x40", "\xF9\xFE"};
    static const QByteArray broken[] = {QByteArray(1, '\0'), "\xFF", "\xA4", "\xE4\xB8", "\x80", "\xA3\xC0"};
    QByteArray bytes;
    const int tokens = int(random.bounded(40));
    for (int i = 0; i < tokens; ++i) {
        const quint32 pick = random.bounded(100);
        if (pick < 60)
            bytes += plain[random.bounded(int(std::size(plain)))];
        else if (pick < 95 && mode != Mode::Big5 && (mode == Mode::Utf8 || random.bounded(2) == 0))
            bytes += utf8[random.bounded(pick < 90 ? 1 : int(std::size(utf8)))];
        else if (pick < 95)
            bytes += big5[random.bounded(int(std::size(big5)))];
        else if (mode == Mode::Mixed || random.bounded(4) == 0)
            bytes += broken[random.bounded(int(std::size(broken)))];
    }
    return bytes;
}

void expectSame(const ListFileSurvey& got, const ListFileSurvey& want) {
    EXPECT_FALSE(got.readFailed);
    EXPECT_FALSE(got.tooLarge);
    EXPECT_EQ(got.lines, want.lines);
    EXPECT_EQ(got.nulLine, want.nulLine);
    EXPECT_EQ(got.notUtf8Line, want.notUtf8Line);
    EXPECT_EQ(got.notBig5Line, want.notBig5Line);
    EXPECT_EQ(got.unmappable, want.unmappable);
}

} // namespace

TEST(ListFileSurveyTest, FindsWhatTheWholeFileChecksFindWhereverThePiecesEnd) {
    QRandomGenerator random(33);
    for (int i = 0; i < 600; ++i) {
        const QByteArray bytes = randomFile(random, Mode(i % 3));
        const ListFileSurvey want = wholeFileSurvey(bytes);
        for (const qsizetype piece : {1, 2, 3, 5, 64}) {
            SCOPED_TRACE(testing::Message() << "file " << i << " " << bytes.toHex().constData() << " piece " << piece);
            expectSame(surveyOf(bytes, piece), want);
            if (HasFailure())
                return;
        }
    }
}

TEST(ListFileSurveyTest, ALineLongerThanAPieceIsLookedAtToItsLastByte) {
    const QByteArray lineOf = QByteArray(3000, 'a');
    const QByteArray chinese = big5(QStringLiteral("中文"));
    const QByteArray cases[] = {
        "0912 " + lineOf + chinese + "\n0913\n",       // Big5 in the tail: not UTF-8
        "0912 " + lineOf + "中文\r\n0913",             // UTF-8 in the tail
        "0912 " + lineOf + "\xFF\n0913\n",             // neither, in line 1
        "0912\n0913 " + lineOf + '\0' + "x\n",         // a NUL in the tail of line 2
        "0912 " + lineOf + "\xF0\x9F\x98\x80\n",       // a character without a Big5 form
        "0912 " + lineOf + "\xA4",                     // a character the file's end cuts short
        "0912 " + lineOf + "\xE4\xB8",                 // the same in UTF-8
        "0912 " + lineOf + "\r" + lineOf + "\r\n\r\n", // a CR LF where the piece may end
    };
    for (const QByteArray& bytes : cases) {
        for (const qsizetype piece : {7, 1024, 4096}) {
            SCOPED_TRACE(testing::Message() << bytes.right(12).toHex().constData() << " piece " << piece);
            expectSame(surveyOf(bytes, piece), wholeFileSurvey(bytes));
        }
    }
}

TEST(ListFileSurveyTest, StopsPastTheLimitAndWhenAReadFails) {
    EXPECT_TRUE(surveyOf(QByteArray(100, 'a'), 8, 99).tooLarge);
    EXPECT_FALSE(surveyOf(QByteArray(100, 'a'), 8, 100).tooLarge);
    const ListFileSurvey failed = SurveyListFile(
        [](char*, qint64) {
            errno = EIO;
            return qint64(-1);
        },
        100);
    EXPECT_TRUE(failed.readFailed);
    EXPECT_EQ(failed.error, EIO);
}

namespace {

class RecipientListFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes) {
        const QString path = QDir(m_dir.path()).filePath(QStringLiteral("list.txt"));
        test::writeAll(path, bytes);
        return path;
    }
    // The rows and entries the file read whole gives, its text in Big5.
    static ParsedRecipients wholeRead(const QByteArray& big5Bytes) {
        ParsedRecipients parsed;
        ReadListFile(parsed, big5Bytes);
        return parsed;
    }
    static void expectSameRows(const ParsedRecipients& got, const ParsedRecipients& want) {
        ASSERT_EQ(got.ListFileRows.size(), want.ListFileRows.size());
        for (const auto& [line, row] : want.ListFileRows)
            EXPECT_EQ(std::memcmp(&got.ListFileRows.at(line), &row, sizeof row), 0) << "line " << line;
        EXPECT_EQ(got.RecipientList.size(), want.RecipientList.size());
    }

    QTemporaryDir m_dir;
};

} // namespace

// A line of megabytes keeps its first 64 KB, cut at a whole character, in either encoding: the rows are
// those of the file read whole (a row keeps far less than 64 KB), before, at and after the long line.
TEST_F(RecipientListFileTest, ALongLineIsCutAndNamedAndTheRowsAroundItAreWhole) {
    const QString chinese(3 * 1024 * 1024 / 3, QChar(0x4E2D));
    const QString text = QStringLiteral("0912000001 $王$\r\n0912000002 $") + chinese + QStringLiteral("$\r\n") +
                         QStringLiteral("0912000003 $李$\n0912000004 ") + chinese + QStringLiteral("\n");
    for (const bool utf8 : {true, false}) {
        SCOPED_TRACE(utf8 ? "UTF-8" : "Big5");
        RecipientListFile file;
        ASSERT_TRUE(file.check(write(utf8 ? text.toUtf8() : big5(text)))) << file.error().toStdString();
        EXPECT_EQ(file.isUtf8(), utf8);
        EXPECT_EQ(file.lineCount(), 4);
        ParsedRecipients parsed;
        int steps = 0;
        ASSERT_TRUE(file.readRows(parsed, [&steps] { ++steps; }));
        EXPECT_EQ(steps, 4);
        expectSameRows(parsed, wholeRead(big5(text)));
        EXPECT_EQ(file.cutLines(), (std::vector<qint64>{1, 3}));
        EXPECT_EQ(ListFileRowNotes(parsed, file.cutLines()),
                  QStringLiteral("發訊名單第 2、4 行超過 64 KB，超過的部分未讀取。"));
    }
}

// What decides the encoding, or refuses the file, may stand past the first 64 KB of a line: the file is
// judged on all of it.
TEST_F(RecipientListFileTest, TheWholeFileDecidesItsEncodingThoughALinesTailIsNotKept) {
    const QByteArray head = "0912000001 " + QByteArray(200 * 1024, 'a');
    const struct {
        QByteArray tail;
        bool ok;
        bool utf8;
        QString said;
    } cases[] = {
        {big5(QStringLiteral("中")), true, false, QString()},
        {"中", true, true, QString()},
        {"\xFF", false, false, QStringLiteral("第 1 行不是 Big5 或 UTF-8 文字")},
        {QByteArray(1, '\0'), false, false, ListFileNulLineText(1)},
        {"\xF0\x9F\x98\x80", false, true, QStringLiteral("U+1F600")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tail.toHex().constData());
        RecipientListFile file;
        EXPECT_EQ(file.check(write(head + c.tail + "\n0912000002\n")), c.ok);
        EXPECT_TRUE(file.error().contains(c.said)) << file.error().toStdString();
        if (c.ok) {
            EXPECT_EQ(file.isUtf8(), c.utf8);
        }
    }
}

// A file changed between its check and its reading into rows leaves no row of it, and says so; the
// entries of the field stay.
TEST_F(RecipientListFileTest, AFileChangedAfterItsCheckLeavesNoRows) {
    RecipientListFile file;
    const QString path = write("0912000001\n0912000002\n");
    ASSERT_TRUE(file.check(path));
    test::writeAll(path, "0912000001\n0912000002\n0912000003\n");
    ParsedRecipients parsed;
    parsed.RecipientList.push_back(sMtData{});
    parsed.RecipientList.back().kind = KindTyped;
    EXPECT_FALSE(file.readRows(parsed));
    EXPECT_EQ(file.error(), QStringLiteral("發訊名單檔案 %1 在讀取時被更改，請再試一次。").arg(path));
    EXPECT_TRUE(parsed.ListFileRows.empty());
    ASSERT_EQ(parsed.RecipientList.size(), 1u);
    EXPECT_EQ(parsed.RecipientList.front().kind, KindTyped);
}

// 中斷 during the load keeps the rows read so far, and names no cut line it did not reach.
TEST_F(RecipientListFileTest, AStoppedLoadKeepsItsRowsAndNamesOnlyTheCutLinesReached) {
    RecipientListFile file;
    ASSERT_TRUE(file.check(write("0912000001\n0912000002 " + QByteArray(70 * 1024, 'a') + "\n")));
    ParsedRecipients parsed;
    StopFlag stop;
    EXPECT_TRUE(file.readRows(
        parsed, [&stop] { stop.request(); }, &stop));
    EXPECT_EQ(parsed.ListFileRows.size(), 1u);
    EXPECT_TRUE(file.cutLines().empty());
}
