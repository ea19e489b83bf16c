#include "core/compose/RecipientField.h"
#include "core/compose/ComposeState.h"
#include "core/compose/ListFileInput.h"
#include "core/compose/MessageCount.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SeparatedNumbers.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace norvi;

namespace {

FieldEntryKey memberKey(int32_t id) {
    return FieldEntryKey{true, KindAddressBook, id};
}
FieldEntryKey listRow(int32_t line) {
    return FieldEntryKey{true, KindListRow, line};
}

class RecipientFieldTest : public ::testing::Test {
protected:
    // RecipientList as "kind:id:label" lines, the label shown as text.
    QStringList entries() const {
        QStringList out;
        for (const sMtData& e : parsed.RecipientList)
            out << QStringLiteral("%1:%2:%3").arg(e.kind).arg(e.id).arg(fromBig5(getField(e.label)));
        return out;
    }
    QString write(const char* name, const QByteArray& bytes) {
        const QString path = QDir(m_dir.path()).filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
    ParsedRecipients parsed;
    std::list<sMtData>& RecipientList = parsed.RecipientList;
};

} // namespace

TEST_F(RecipientFieldTest, TypedTextSplitsAtSeparatorsAndRunBoundariesWhileAnEntryStaysWhole) {
    RecipientFieldReader reader(true);
    reader.addRun(QStringLiteral("王小明"), memberKey(5));
    // Digits typed right after the entry are a number of their own, though no separator stands between.
    reader.addRun(QStringLiteral("0912000001; ; 0912000002\r\n 0912000003 "), FieldEntryKey());
    reader.addRun(QStringLiteral("工;程部"), memberKey(-3)); // a ";" inside a name does not cut the entry
    reader.addRun(QStringLiteral("  0912000009 "), listRow(7));
    reader.addRun(QStringLiteral("0912"), FieldEntryKey());
    reader.endLine(); // a paragraph end separates typed text too
    reader.addRun(QStringLiteral("0004"), FieldEntryKey());
    EXPECT_EQ(reader.finish(RecipientList), 8);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("0:5:王小明"), QStringLiteral("2:0:0912000001"),
                                      QStringLiteral("2:0:0912000002"), QStringLiteral("2:0:0912000003"),
                                      QStringLiteral("0:-3:工;程部"), QStringLiteral("1:7:0912000009"),
                                      QStringLiteral("2:0:0912"), QStringLiteral("2:0:0004")}));
}

TEST_F(RecipientFieldTest, ListRowsAreLeftOutUnlessKeptAndTheListIsReplacedWhole) {
    RecipientList.push_back(sMtData{});
    RecipientFieldReader reader(false);
    reader.addRun(QStringLiteral("0911"), listRow(0));
    reader.addRun(QStringLiteral("; 0922; "), FieldEntryKey());
    reader.addRun(QStringLiteral("   "), memberKey(9)); // an entry of blanks only is nothing
    EXPECT_EQ(reader.finish(RecipientList), 1);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("2:0:0922")});
}

TEST_F(RecipientFieldTest, LabelsAreCutAtTheirFieldWithoutSplittingACharacter) {
    RecipientFieldReader reader(true);
    reader.addRun(QString(60, QChar(0x738B)), memberKey(1)); // 王 x 60 = 120 Big5 bytes
    reader.addRun(QStringLiteral("1").repeated(150), FieldEntryKey());
    reader.finish(RecipientList);
    ASSERT_EQ(RecipientList.size(), 2u);
    EXPECT_EQ(getField(RecipientList.front().label), big5(QString(49, QChar(0x738B))));
    EXPECT_EQ(getField(RecipientList.back().label), QByteArray(99, '1'));
}

TEST_F(RecipientFieldTest, NumbersTypedInARunLongerThanALabelAreAllKept) {
    const struct {
        const char* separator;
        int numbers;
    } cases[] = {{",", 10}, {", ", 12}, {"、", 30}, {" ", 10}};
    for (const auto& c : cases) {
        QStringList numbers;
        for (int i = 0; i < c.numbers; ++i)
            numbers << QStringLiteral("09120000%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString typed = numbers.join(QString::fromUtf8(c.separator));
        RecipientFieldReader reader(true);
        reader.addRun(typed, FieldEntryKey());
        reader.finish(RecipientList);
        // Every piece stands where the field shows it, so selecting an entry selects its text.
        const std::vector<FieldSpan> spans = reader.takeSpans();
        ASSERT_EQ(spans.size(), RecipientList.size());
        auto span = spans.begin();
        for (const sMtData& e : RecipientList) {
            EXPECT_EQ(typed.mid(span->start, span->length), fromBig5(getField(e.label))) << c.separator;
            ++span;
        }
        SplitSeparatedNumbers(RecipientList);
        QStringList kept;
        for (const sMtData& e : RecipientList)
            kept << fromBig5(getField(e.label));
        EXPECT_EQ(kept, numbers) << c.separator;
    }
}

TEST_F(RecipientFieldTest, TypedTextWithoutBig5FormIsLeftOutAndNamed) {
    RecipientFieldReader reader(true);
    reader.addRun(QStringLiteral("0912😀; 0933"), FieldEntryKey());
    EXPECT_EQ(reader.finish(RecipientList), 1);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("2:0:0933")});
    EXPECT_EQ(reader.unmappable(), QStringLiteral("😀"));
}

TEST_F(RecipientFieldTest, KeysAndLabelsOfRenderedEntries) {
    sMtData typed{};
    typed.kind = KindTyped;
    putCString(typed.label, big5("0912"));
    EXPECT_FALSE(KeyOfEntry(typed).entry);
    sMtData group{};
    group.kind = KindAddressBook;
    group.id = -4;
    putCString(group.label, big5("業務部"));
    EXPECT_EQ(KeyOfEntry(group), (FieldEntryKey{true, KindAddressBook, -4}));
    EXPECT_NE(KeyOfEntry(group), (FieldEntryKey{true, KindListRow, -4}));
    EXPECT_EQ(LabelText(group), QStringLiteral("業務部"));
    EXPECT_EQ(LabelText(typed), QStringLiteral("0912"));
}

TEST_F(RecipientFieldTest, FieldHeightFollowsTheTextUpToItsLimit) {
    EXPECT_EQ(RecipientFieldHeight(10, 24), 24);
    EXPECT_EQ(RecipientFieldHeight(24, 24), 24);
    EXPECT_EQ(RecipientFieldHeight(62, 24), 62);
    // Between four times the base less 15 and four times the base the request is granted as it is.
    EXPECT_EQ(RecipientFieldHeight(90, 24), 90);
    EXPECT_EQ(RecipientFieldHeight(96, 24), 96);
    EXPECT_EQ(RecipientFieldHeight(97, 24), 81);
    EXPECT_EQ(RecipientFieldHeight(100000, 24), 81);
}

TEST_F(RecipientFieldTest, CountLabelPreviewAndRowMessages) {
    EXPECT_EQ(CountLabelText(3), QStringLiteral("總共需要 3 通簡訊"));
    // Only the first 1,000 characters are converted: they already need all six short messages.
    EXPECT_EQ(CountedText(QStringLiteral("a").repeated(5000)).size(), 1000);
    EXPECT_EQ(segment(CountedText(QStringLiteral("a").repeated(5000))).count, 6);
    EXPECT_EQ(CountedText(QStringLiteral("a").repeated(999) + QStringLiteral("😀")).size(), 999) << "no half surrogate";

    const Segments two = segment(QByteArray(160, 'x'));
    EXPECT_EQ(PreviewText(two.block, two.count), QStringLiteral("第 1 通\n1/2-") + QStringLiteral("x").repeated(155) +
                                                     QStringLiteral("\n第 2 通\n2/2-xxxxx"));

    const QByteArray content = big5("$王$$50$");
    const QByteArray templ = big5("親愛的$1$，您的餘額為$2$元");
    EXPECT_EQ(segmentText(RowSegments(content, templ, true).block, 1), big5("親愛的王，您的餘額為50元"));
    EXPECT_EQ(segmentText(RowSegments(content, templ, false).block, 1), content);
}

TEST_F(RecipientFieldTest, ListFilesAreReadAsUtf8OrBig5AndRefusedWithTheLine) {
    const QByteArray text = "0912000001 $王小明$\r\n0912000002\r\n";
    const QByteArray content = big5("$王小明$");
    for (const QByteArray& bytes : {text, big5(QString::fromUtf8(text.constData()))}) {
        RecipientListFile file;
        ASSERT_TRUE(file.check(write("list.txt", bytes))) << file.error().toStdString();
        EXPECT_EQ(file.isUtf8(), bytes == text);
        EXPECT_EQ(file.lineCount(), 2);
        ASSERT_TRUE(file.readRows(parsed));
        ASSERT_EQ(parsed.ListFileRows.size(), 2u);
        EXPECT_EQ(getField(parsed.ListFileRows.at(0).content), content);
        EXPECT_EQ(entries(), (QStringList{QStringLiteral("1:0:0912000001"), QStringLiteral("1:1:0912000002")}));
        RecipientList.clear();
    }

    const struct {
        const char* name;
        QByteArray bytes;
        QString said;
    } refused[] = {
        {"mixed.txt", "0912 ok\n0913 \xFF\xFF\n", QStringLiteral("第 2 行不是 Big5 或 UTF-8 文字")},
        {"nul.txt",
         QByteArray("0912\n09\0"
                    "13\n",
                    9),
         ListFileNulLineText(2)},
        {"emoji.txt", "0912 \xF0\x9F\x98\x80\n", QStringLiteral("U+1F600")},
    };
    for (const auto& c : refused) {
        RecipientListFile file;
        EXPECT_FALSE(file.check(write(c.name, c.bytes))) << c.name;
        EXPECT_TRUE(file.error().contains(c.said)) << file.error().toStdString();
    }
    RecipientListFile missing;
    EXPECT_FALSE(missing.check(QDir(m_dir.path()).filePath(QStringLiteral("none.txt"))));
    EXPECT_TRUE(missing.error().startsWith(QStringLiteral("無法讀取檔案")));
}

TEST_F(RecipientFieldTest, NotesNameRowsWithoutANumberAndNumbersTooLong) {
    EXPECT_EQ(ListFileRowNotes(parsed), QString());
    QByteArray file = "0912000001\n ,no number\n" + QByteArray(30, '9') + "\n";
    for (int i = 0; i < 12; ++i)
        file += ",x\n";
    ReadListFile(parsed, file);
    const QString notes = ListFileRowNotes(parsed);
    EXPECT_TRUE(notes.contains(QStringLiteral("發訊名單第 2、4、5、6、7、8、9、10、11、12 行等共 13 行沒有電話號碼")))
        << notes.toStdString();
    EXPECT_TRUE(notes.contains(QStringLiteral("發訊名單第 3 行的電話號碼超過29個字元"))) << notes.toStdString();
}
