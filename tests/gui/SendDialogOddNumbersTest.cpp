// 傳送 with recipients that are no telephone number: their line in the summary before the send, the offer of
// an address-book entry for a plain name, list lines named by their line, and the note of a list whose second
// column replaces the message.

#include "SendDialogFixture.h"

#include "gui/sendlog/TFormShowMsg.h"

#include <QFile>
#include <QPushButton>

using namespace norvi;
using namespace norvi::test;

namespace {

class SendDialogOddNumbersTest : public SendDialogFixture {
protected:
    // Presses 傳送 with the answers queued for its questions, and returns the questions it asked.
    QStringList sendAnswering(std::initializer_list<Prompts::Answer> answers) {
        const qsizetype before = m_prompts.messages().size();
        m_prompts.answers.assign(answers.begin(), answers.end());
        press("ButtonSend");
        return m_prompts.messages().mid(before);
    }
    // Answers the next summary: its line about text that is no number goes into oddLine, then 取消 (or, with
    // `sendThem`, 照常傳送 and 傳送).
    void answerOdd(bool sendThem) {
        answerSendSummary([this, sendThem](QDialog& box) {
            oddLine = summaryLine(box, "OddNumbers");
            if (!sendThem) {
                EXPECT_TRUE(click(&box, "ButtonCancel"));
                return;
            }
            EXPECT_TRUE(click(&box, "RadioSummaryOddNumbers1"));
            EXPECT_TRUE(click(&box, "ButtonSend"));
        });
    }
    QString oddLine;
    bool noteShown() { return control<QLabel>("LabelListText")->isVisible(); }
};

} // namespace

TEST_F(SendDialogOddNumbersTest, TextThatIsNoNumberIsNamedInTheSummaryCancelSelectsItAndItCanBeSent) {
    open(
        [&] {
            ASSERT_TRUE(
                typeInto(field(), QStringLiteral("0912000001; abcdefg; 王小民; +886912000002; 12; 0912-000-003")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
            QString line;
            answerSendSummary([&](QDialog& box) {
                line = summaryLine(box, "OddNumbers");
                EXPECT_EQ(summaryLine(box, "LeftOut"), QStringLiteral("略過：重複 0、拒收 0、號碼不符 3"));
                EXPECT_EQ(summaryLine(box, "Count"), QStringLiteral("收訊人 3 位、共 3 通簡訊"));
                // 照常傳送 counts them back in; 取消 sends nothing.
                EXPECT_TRUE(click(&box, "RadioSummaryOddNumbers1"));
                EXPECT_EQ(summaryLine(box, "Count"), QStringLiteral("收訊人 6 位、共 6 通簡訊"));
                EXPECT_TRUE(click(&box, "ButtonCancel"));
            });
            EXPECT_TRUE(press("ButtonSend"));
            EXPECT_EQ(line, QStringLiteral("以下 3 筆不是手機門號：abcdefg、王小民、12"));
            EXPECT_TRUE(m_prompts.messages().isEmpty()) << "no box of its own";
            EXPECT_TRUE(dialog().isVisible());
            EXPECT_FALSE(progress().isVisible());
            EXPECT_EQ(selected(), QStringLiteral("abcdefg")) << "the first one is shown to be corrected";
            EXPECT_TRUE(m_sim->requests().empty());
            EXPECT_EQ(mainWindow().jobRows().rowCount(), 0);

            // Corrected, the rest still named; 照常傳送 sends them as they stand, the number with dashes without them.
            ASSERT_TRUE(key(Qt::Key_Backspace));
            answerOdd(true);
            press("ButtonSend");
            EXPECT_EQ(oddLine, QStringLiteral("以下 2 筆不是手機門號：王小民、12"));
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers().size(), 5);
    EXPECT_TRUE(sentNumbers().contains(QStringLiteral("12")));
    EXPECT_TRUE(sentNumbers().contains(QStringLiteral("0912000003")));
}

TEST_F(SendDialogOddNumbersTest, APlainNameOfTheBookIsOfferedAsItsEntryBeforeTheQuestion) {
    addressBook().putMember(test::member(5, big5("王小明"), "0912000005"));
    addressBook().putMember(test::member(6, big5("陳大文"), "0912000006"));
    addressBook().putGroup(test::named(test::group(-301, {{0, 6}}), big5("業務部")));
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("王小明; 業務部")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
            answerOdd(false);
            EXPECT_EQ(sendAnswering({Prompts::Answer::Yes, Prompts::Answer::No}),
                      (QStringList{QStringLiteral("王小明 是通訊錄中的成員，要改用通訊錄的門號？"),
                                   QStringLiteral("業務部 是通訊錄中的群組，要改用通訊錄的群組？")}));
            EXPECT_EQ(oddLine, QStringLiteral("以下 1 筆不是手機門號：業務部"));
            EXPECT_EQ(parsed(), (QStringList{QStringLiteral("0:5:王小明"), QStringLiteral("2:0:業務部")}))
                << "the member taken stays an entry after 否";
            EXPECT_EQ(selected(), QStringLiteral("業務部"));
            EXPECT_TRUE(m_sim->requests().empty());

            answerSendSummary();
            EXPECT_EQ(sendAnswering({Prompts::Answer::Yes}),
                      QStringList{QStringLiteral("業務部 是通訊錄中的群組，要改用通訊錄的群組？")});
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers(), (QStringList{QStringLiteral("0912000005"), QStringLiteral("0912000006")}));
}

TEST_F(SendDialogOddNumbersTest, ListLinesAreNamedByLineAndTheSecondColumnNoteFollowsTheMessageType) {
    const QString withText = writeFile("text.txt", "0911000001\nabc Hello\n1\n2\n3\n4\n5\n");
    const QString bare = writeFile("bare.txt", "0922000001\n");
    open([&] {
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("typed")));
        EXPECT_FALSE(noteShown());
        load(withText);
        EXPECT_TRUE(noteShown());
        QString shown;
        m_prompts.dialogHandlers.push_back([&](QDialog* viewer) {
            // The first recipient gets the message; the next one its line's own text instead.
            EXPECT_TRUE(static_cast<TFormShowMsg*>(viewer)->text().contains(QStringLiteral("typed")));
            click(findControl<QPushButton>(viewer, "ButtonNext"));
            shown = static_cast<TFormShowMsg*>(viewer)->text();
            viewer->accept();
        });
        ASSERT_TRUE(press("SpeedButtonPreview"));
        EXPECT_TRUE(shown.contains(QStringLiteral("Hello")) && !shown.contains(QStringLiteral("typed")))
            << shown.toStdString();

        answerOdd(false);
        press("ButtonSend");
        EXPECT_EQ(oddLine,
                  QStringLiteral("以下 6 筆不是手機門號：第 2 行 abc、第 3 行 1、第 4 行 2、第 5 行 3、第 6 行 4…"));
        EXPECT_EQ(selected(), QStringLiteral("abc"));
        EXPECT_TRUE(m_sim->requests().empty());

        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
        EXPECT_FALSE(noteShown()) << "替代簡訊 keeps the message and fills it";
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonNormalMsg")));
        EXPECT_TRUE(noteShown());
        load(bare);
        EXPECT_FALSE(noteShown());
    });
}

// Numbers typed into one recipient with "," and a space: the question says that ";" separates recipients,
// 否 keeps them one recipient (no number, which the summary leaves out), 是 makes each number a recipient.
TEST_F(SendDialogOddNumbersTest, NumbersSeparatedByCommasOrSpacesAreOfferedAsRecipientsOfTheirOwn) {
    const QString typed = QStringLiteral("0912000501,0912000502 0912000503");
    const QString question =
        QStringLiteral("受訊者之間要以「;」分隔。以下受訊者含有「,」或空白，看來各是幾個門號：\n") + typed +
        QStringLiteral("\n要分成各自的受訊者？");
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), typed + QStringLiteral("; 0911000001")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
            QStringList lines;
            answerSendSummary([&](QDialog& box) {
                for (const char* topic : {"Count", "LeftOut", "OddNumbers"})
                    lines << summaryLine(box, topic);
                EXPECT_TRUE(click(&box, "ButtonCancel"));
            });
            EXPECT_EQ(sendAnswering({Prompts::Answer::No}), QStringList{question});
            // Kept as one recipient, it is no number: the summary leaves it out by default.
            EXPECT_EQ(lines, (QStringList{QStringLiteral("收訊人 1 位、共 1 通簡訊"),
                                          QStringLiteral("略過：重複 0、拒收 0、號碼不符 1"),
                                          QStringLiteral("以下 1 筆不是手機門號：") + typed}));
            EXPECT_TRUE(m_sim->requests().empty());
            answerSendSummary();
            EXPECT_EQ(sendAnswering({Prompts::Answer::Yes}), QStringList{question});
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers(), (QStringList{QStringLiteral("0912000501"), QStringLiteral("0912000502"),
                                          QStringLiteral("0912000503"), QStringLiteral("0911000001")}));
}
