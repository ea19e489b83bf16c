// A "替代簡訊" message whose list lines leave a "$n$" without a value: the summary before the send names those
// lines, with the choice to send them with the fields empty or leave them out (取消 goes back to the first of
// them), and 預覽 shows what each recipient gets.

#include "SendDialogFixture.h"

#include "gui/sendlog/TFormShowMsg.h"

#include <QPushButton>
#include <QRadioButton>

using namespace norvi;
using namespace norvi::test;

namespace {

class SendDialogTemplatesTest : public SendDialogFixture {
protected:
    // A list of three lines: all values, one value, none; the template with two fields, 替代簡訊 checked.
    void prepare() {
        load(writeFile("list.txt", big5("0911000001 $王$$三點$\n0922000002 $陳$\n0933000003\n")));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("您好$1$，會議$2$開始")));
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
    }
    QStringList sentTexts() {
        QStringList out;
        for (const sGwRequest& r : m_sim->requests())
            if (r.msg_type == GwSendDomestic)
                out << fromBig5(QByteArray(r.msg_content, r.msg_content_len));
        return out;
    }
};

const QString kLine = QStringLiteral("以下 2 位受訊者的訊息缺少替代欄位的值：第 2 行缺 $2$、第 3 行缺 $1$、$2$");

} // namespace

// The lines without values are a line of the summary, with its choices: 取消 goes back to the first of them,
// 略過這些受訊者 recounts the run without them, and the default sends them with the fields empty.
TEST_F(SendDialogTemplatesTest, LinesWithoutValuesAreASummaryLineThatSendsThemEmptyLeavesThemOutOrGoesBack) {
    QStringList named;
    QStringList counts;
    open(
        [&] {
            prepare();
            answerSendSummary([&](QDialog& box) {
                named << summaryLine(box, "EmptyFields");
                EXPECT_TRUE(findControl<QRadioButton>(&box, "RadioSummaryEmptyFields0")->isChecked());
                EXPECT_TRUE(click(&box, "ButtonCancel"));
            });
            ASSERT_TRUE(press("ButtonSend"));
            EXPECT_TRUE(m_prompts.messages().isEmpty()) << "no box of its own";
            EXPECT_TRUE(dialog().isVisible());
            EXPECT_FALSE(progress().isVisible());
            EXPECT_EQ(selected(), QStringLiteral("0922000002")) << "the first such line is shown to be corrected";
            EXPECT_TRUE(m_sim->requests().empty());

            answerSendSummary([&](QDialog& box) {
                EXPECT_TRUE(click(&box, "RadioSummaryEmptyFields1"));
                counts << summaryLine(box, "Count") << summaryLine(box, "LeftOut");
                named << summaryLine(box, "EmptyFields");
                EXPECT_TRUE(click(&box, "RadioSummaryEmptyFields0")); // and back: all three again
                counts << summaryLine(box, "Count");
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            ASSERT_TRUE(press("ButtonSend"));
            finishRun();
        },
        false);
    EXPECT_EQ(named, (QStringList{kLine, kLine})) << "the line stays while they are left out, to take them back";
    EXPECT_EQ(counts, (QStringList{QStringLiteral("收訊人 1 位、共 1 通簡訊"),
                                   QStringLiteral("略過：重複 0、拒收 0、號碼不符 0、缺少替代欄位 2"),
                                   QStringLiteral("收訊人 3 位、共 3 通簡訊")}));
    EXPECT_EQ(sentTexts(), (QStringList{QStringLiteral("您好王，會議三點開始"), QStringLiteral("您好陳，會議開始"),
                                        QStringLiteral("您好，會議開始")}));
}

TEST_F(SendDialogTemplatesTest, LeftOutLinesAreNotSent) {
    open(
        [&] {
            prepare();
            answerSendSummary([&](QDialog& box) {
                EXPECT_TRUE(click(&box, "RadioSummaryEmptyFields1"));
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            ASSERT_TRUE(press("ButtonSend"));
            finishRun();
        },
        false);
    EXPECT_EQ(sentTexts(), QStringList{QStringLiteral("您好王，會議三點開始")});
}

TEST_F(SendDialogTemplatesTest, PreviewShowsTheFirstRecipientsTextAndStepsThroughTheOthers) {
    open([&] {
        prepare();
        QStringList pages;
        bool lastDisabled = false;
        m_prompts.dialogHandlers.push_back([&](QDialog* viewer) {
            const auto* shown = static_cast<TFormShowMsg*>(viewer);
            auto* next = findControl<QPushButton>(viewer, "ButtonNext");
            auto* previous = findControl<QPushButton>(viewer, "ButtonPrevious");
            EXPECT_FALSE(previous->isEnabled());
            pages << shown->text();
            for (int i = 0; i < 2; ++i) {
                ASSERT_TRUE(click(next));
                pages << shown->text();
            }
            lastDisabled = !next->isEnabled();
            ASSERT_TRUE(click(previous));
            pages << shown->text();
            viewer->accept();
        });
        ASSERT_TRUE(press("SpeedButtonPreview"));
        ASSERT_EQ(pages.size(), 4);
        EXPECT_EQ(pages[0], QStringLiteral("受訊者 1 / 3：第 1 行 0911000001\n第 1 通\n您好王，會議三點開始"));
        EXPECT_EQ(pages[1],
                  QStringLiteral(
                      "受訊者 2 / 3：第 2 行 0922000002\n（沒有 $2$ 的值，傳送時留空）\n第 1 通\n您好陳，會議開始"));
        EXPECT_TRUE(pages[2].endsWith(QStringLiteral("\n您好，會議開始"))) << pages[2].toStdString();
        EXPECT_TRUE(lastDisabled);
        EXPECT_EQ(pages[3], pages[1]);
    });
}

// A message every character of which is a field: a line without values would be an empty text, which the gateway
// refuses, so the summary names it and it is not sent even when the empty fields are sent; the run's end says so.
TEST_F(SendDialogTemplatesTest, ALineLeftBlankIsNamedAndNeverSent) {
    open(
        [&] {
            prepare();
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("$1$$2$")));
            answerSendSummary([&](QDialog& box) {
                EXPECT_EQ(summaryLine(box, "LeftOut"), QStringLiteral("略過：重複 0、拒收 0、號碼不符 0、空白訊息 1"));
                EXPECT_EQ(summaryLine(box, "BlankTexts"),
                          QStringLiteral("1 位受訊者的訊息是空白的，不會傳送，第一筆在第 3 行"));
                EXPECT_TRUE(click(&box, "ButtonSend")); // with the fields left empty
            });
            ASSERT_TRUE(press("ButtonSend"));
            finishRun();
            EXPECT_TRUE(progress().tracker().statusText().endsWith(QStringLiteral("；略過 1 筆：空白訊息 1 筆")));
        },
        false);
    EXPECT_EQ(sentTexts(), (QStringList{QStringLiteral("王三點"), QStringLiteral("陳")}));
}
