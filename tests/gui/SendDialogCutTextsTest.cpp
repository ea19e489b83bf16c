// The send dialog and texts too long for six short messages in a list file's rows, and a list file that
// cannot be read.

#include "SendDialogFixture.h"

#include "gui/sendlog/TFormShowMsg.h"

#include <QFile>
#include <QLabel>
#include <QRadioButton>

#include <sys/stat.h>

using namespace norvi;
using namespace norvi::test;

namespace {

class SendDialogCutTextsTest : public SendDialogFixture {
protected:
    QLabel* note() { return control<QLabel>("LabelRowsTooLong"); }
    QString preview() {
        QString shown;
        m_prompts.dialogHandlers.push_back([&](QDialog* viewer) {
            shown = static_cast<TFormShowMsg*>(viewer)->text();
            viewer->accept();
        });
        EXPECT_TRUE(press("SpeedButtonPreview"));
        return shown;
    }
};

const QString kTwoRowsCut = QStringLiteral("2 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 2 行");

} // namespace

TEST_F(SendDialogCutTextsTest, RowsWhoseOwnTextIsTooLongAreNamedUntilTheListIsReplaced) {
    const QString longRows = writeFile("long.txt", "0911000001 short\n0911000002 " + QByteArray(1000, 'b') +
                                                       "\n0911000003\n0911000004 " + QByteArray(1000, 'c') + "\n");
    const QString shortRows = writeFile("short.txt", "0911000001 short\n0911000002 also short\n");
    open([&] {
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
        load(longRows);
        EXPECT_TRUE(note()->isVisible());
        EXPECT_EQ(note()->text(), kTwoRowsCut);
        EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊")) << "the typed message itself fits";
        EXPECT_TRUE(preview().endsWith(QString(QLatin1Char('\n') + kTwoRowsCut)));

        // 替代簡訊 without placeholders still sends each row's own text.
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
        EXPECT_EQ(note()->text(), kTwoRowsCut);

        load(shortRows);
        EXPECT_FALSE(note()->isVisible());
        EXPECT_FALSE(preview().contains(QStringLiteral("超過")));
    });
}

// With 替代簡訊 the message is part of every row's text: the rows are looked through again once typing
// pauses (at once for 預覽), and shortening the message takes the note away.
TEST_F(SendDialogCutTextsTest, FilledInMessagesAreCheckedWhenTypingPauses) {
    const QString values = writeFile("values.txt", "0911000001 $Ann$\n0911000002 $Bartholomew$\n");
    const QString oneCut = QStringLiteral("1 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 2 行");
    open([&] {
        load(values);
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
        // Six short messages hold 930 one-byte characters: "Bartholomew" and 919 more just fit.
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("$1$") + QStringLiteral("a").repeated(919)));
        EXPECT_FALSE(preview().contains(QStringLiteral("超過"))) << "it just fits";
        EXPECT_FALSE(note()->isVisible());
        QTest::keyClick(memo(), Qt::Key_A);
        EXPECT_TRUE(preview().endsWith(QString(QLatin1Char('\n') + oneCut))) << "預覽 does not wait for the pause";
        EXPECT_TRUE(note()->isVisible());
        EXPECT_EQ(note()->text(), oneCut);
        QTest::keyClick(memo(), Qt::Key_Backspace);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !note()->isVisible(); }, 3000));
        QTest::keyClick(memo(), Qt::Key_A);
        EXPECT_TRUE(QTest::qWaitFor([&] { return note()->isVisible(); }, 3000));
    });
}

// A line of hundreds of kilobytes keeps its first 64 KB as it is read: the note names it, its row keeps what
// a row keeps, and the rows around it are whole.
TEST_F(SendDialogCutTextsTest, AListLinePast64KBIsCutAsItIsReadAndNamed) {
    const QString longLine = writeFile("long-line.txt", big5(QStringLiteral("0911000001 $王$\r\n0911000002 ") +
                                                             QString(100 * 1024, QChar(0x4E2D)) +
                                                             QStringLiteral("\r\n0911000003 $李$\r\n")));
    open([&] {
        load(longLine);
        EXPECT_EQ(m_prompts.messages().last(), QStringLiteral("發訊名單第 2 行超過 64 KB，超過的部分未讀取。"));
        EXPECT_EQ(parsed(), (QStringList{QStringLiteral("1:0:0911000001"), QStringLiteral("1:1:0911000002"),
                                         QStringLiteral("1:2:0911000003")}));
        const std::map<int32_t, sLoadMt>& rows = box().recipients().ListFileRows;
        EXPECT_EQ(getField(rows.at(0).content), big5(QStringLiteral("$王$")));
        EXPECT_EQ(getField(rows.at(1).content), big5(QString(480, QChar(0x4E2D))));
        EXPECT_EQ(getField(rows.at(2).content), big5(QStringLiteral("$李$")));
    });
}

// A list file that cannot be read is named with the system's reason under the first line; one that is no
// regular file is named for what it is.
TEST_F(SendDialogCutTextsTest, AListFileThatCannotBeReadIsNamedWithTheSystemsReason) {
    writeFile("plain", "x");
    const struct {
        QString file;
        QString reason;
    } cases[] = {{path("plain/list.txt"), QStringLiteral("路徑中有一段不是目錄")},
                 {path("missing.txt"), QStringLiteral("檔案或目錄不存在")}};
    open([&] {
        for (const auto& c : cases) {
            m_prompts.fileNames.push_back(c.file);
            ASSERT_TRUE(press("SpeedButtonLoadMT"));
            EXPECT_EQ(m_prompts.messages().last(),
                      QStringLiteral("無法讀取檔案：") + c.file + QLatin1Char('\n') + c.reason);
        }
        // A named pipe is refused at once, not waited on (a wait for a writer would hold the test to its time-out).
        const QString pipe = path("pipe");
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        m_prompts.fileNames.push_back(pipe);
        ASSERT_TRUE(press("SpeedButtonLoadMT"));
        EXPECT_EQ(m_prompts.messages().last(),
                  QStringLiteral("無法讀取檔案 ") + pipe + QStringLiteral("：這是具名管道，不是一般檔案。"));
    });
}
