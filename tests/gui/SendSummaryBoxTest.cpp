// The summary before the send, in the send dialog: who is reached and left out, the duplicates' check box, the
// night line and its choice, and when the box is shown at all.

#include "SendDialogFixture.h"

#include "core/shared/SendSettings.h"
#include "support/FileBytes.h"

#include <QCheckBox>
#include <QLabel>

using namespace norvi;
using namespace norvi::test;

namespace {

class SendSummaryBoxTest : public SendDialogFixture {
protected:
    QByteArray opLog() { return readAll(QDir(logFolder()).filePath(QStringLiteral("20240301.dbg"))); }
    // Types the recipients and the text, then presses 傳送 with `answer` acting in the summary.
    void send(const QString& recipients, const std::function<void(QDialog&)>& answer) {
        ASSERT_TRUE(typeInto(field(), recipients));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
        answerSendSummary(answer);
        press("ButtonSend");
    }
};

} // namespace

// A group holding a member twice over, one number written another way, and a stopped number: the box counts
// them, 取消 sends nothing, 傳送 sends each person once and the stopped one never; the log names it.
TEST_F(SendSummaryBoxTest, CountsWhoIsReachedAndLeftOutCancelSendsNothingSendSendsEachOnce) {
    addressBook().putMember(test::member(1, big5("王小明"), "0912000001"));
    addressBook().putMember(test::member(2, big5("陳美玲"), "0912000002"));
    addressBook().putGroup(test::named(test::group(-301, {{0, 1}, {1, 2}}), big5("家長")));
    addToStopList("0912-000-002");
    open(
        [&] {
            render({entry(-301, KindAddressBook, "家長"), entry(1, KindAddressBook, "王小明"),
                    entry(0, KindTyped, "+886912000001"), entry(0, KindTyped, "0912000003")});
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
            QStringList lines;
            answerSendSummary([&](QDialog& box) {
                lines << summaryLine(box, "Count") << summaryLine(box, "LeftOut");
                EXPECT_TRUE(click(&box, "ButtonCancel"));
            });
            press("ButtonSend");
            EXPECT_EQ(lines, (QStringList{QStringLiteral("收訊人 2 位、共 2 通簡訊"),
                                          QStringLiteral("略過：重複 2、拒收 1、號碼不符 0")}));
            EXPECT_TRUE(m_sim->requests().empty());
            EXPECT_TRUE(dialog().isVisible()) << "取消 goes back to the dialog";
            answerSendSummary();
            press("ButtonSend");
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers(), (QStringList{QStringLiteral("0912000001"), QStringLiteral("0912000003")}));
    EXPECT_TRUE(opLog().contains(big5("拒收名單：0912000002（陳美玲） 未傳送"))) << opLog().constData();
}

TEST_F(SendSummaryBoxTest, TheDuplicatesCheckBoxSendsThemAfterAll) {
    open(
        [&] {
            send(QStringLiteral("0912000001; 0912-000-001; 0912000002"), [](QDialog& box) {
                auto* keep = findControl<QCheckBox>(&box, "CheckBoxKeepDuplicates");
                EXPECT_TRUE(keep->isVisible());
                EXPECT_TRUE(click(keep));
                EXPECT_EQ(summaryLine(box, "Count"), QStringLiteral("收訊人 3 位、共 3 通簡訊"));
                EXPECT_EQ(summaryLine(box, "LeftOut"), QStringLiteral("略過：重複 0、拒收 0、號碼不符 0"));
                EXPECT_TRUE(keep->isVisible()) << "ticked, it stays to be cleared again";
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers().size(), 3);
}

// At night the box says so; its default books the run for the end of the quiet hours, 照常傳送 sends now, and the
// operation log says which. A run at 07:59 is moved to 08:00, but when the summary (or the question about the
// send log) stands open past it, the night is over and the user asked for no reservation: the run goes at once.
TEST_F(SendSummaryBoxTest, ANightRunIsBookedForTheMorningByDefault) {
    enum Passes { Never, InSummary, InQuestion }; // when the morning comes meanwhile
    const struct {
        QTime at;
        bool sendNow;
        Passes passes;
        const char* logged;
    } cases[] = {
        {QTime(23, 40), false, Never, "現在是夜間（21:00–08:00），改為 2024/03/02 08:00 預約傳送"},
        {QTime(23, 40), true, Never, "現在是夜間（21:00–08:00），照常傳送"},
        {QTime(7, 59), false, InSummary, "夜間已結束，改為立即傳送"},
        {QTime(7, 59), false, InQuestion, "夜間已結束，改為立即傳送"},
    };
    const QDateTime morning(QDate(2024, 3, 1), QTime(8, 0, 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), c.at));
        open(
            [&] {
                if (mainWindow().jobRows().rowCount() > 0)
                    m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the rows
                if (c.passes == InQuestion)
                    m_prompts.whileShown = [&](const QString& text) {
                        if (text.contains(QStringLiteral("清除")))
                            Clock::setFixed(morning);
                    };
                send(QStringLiteral("0912000001"), [&](QDialog& box) {
                    EXPECT_EQ(summaryLine(box, "QuietHours"), QStringLiteral("現在是夜間（21:00–08:00）"));
                    auto* moved = findControl<QRadioButton>(&box, "RadioSummaryQuietHours0");
                    EXPECT_TRUE(moved->isChecked());
                    EXPECT_EQ(moved->text(), QStringLiteral("改為 08:00 預約傳送"));
                    if (c.sendNow) {
                        EXPECT_TRUE(click(&box, "RadioSummaryQuietHours1"));
                    }
                    if (c.passes == InSummary)
                        Clock::setFixed(morning);
                    EXPECT_TRUE(keyClick(&box, Qt::Key_Return)) << "Return is 傳送";
                });
                finishRun();
                m_prompts.whileShown = nullptr;
            },
            false);
        EXPECT_TRUE(opLog().contains(big5(c.logged))) << opLog().constData();
    }
    EXPECT_EQ(sentSchedules(*m_sim), (QList<QByteArray>{"03", "01", "01", "01"})) << "booked, then sent at once";
    EXPECT_EQ(opLog().count(big5("夜間已結束，改為立即傳送")), 2);
    EXPECT_FALSE(m_prompts.messages().contains(QStringLiteral("不可預約過去的時間！")));
    QStringList times;
    for (int row = 0; row < mainWindow().jobRows().rowCount(); ++row)
        times << cell(row, ColSendTime);
    EXPECT_TRUE(times.contains(QStringLiteral("20240302080000"))) << times.join(QLatin1Char(' ')).toStdString();
}

// "只在有略過或警告時顯示" is written for the next sends: a clean run then goes without the box, one with a link
// still shows it, and the settings say always again when the box is cleared.
TEST_F(SendSummaryBoxTest, TheBoxCanBeAskedToShowOnlyWithWarnings) {
    open(
        [&] {
            send(QStringLiteral("0912000001"), [](QDialog& box) {
                EXPECT_EQ(summaryLine(box, "Link"), QString());
                EXPECT_TRUE(click(&box, "CheckBoxOnlyWarnings"));
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            finishRun();
        },
        false);
    EXPECT_EQ(ReadSendSettings(m_dir.path()).summary, SummaryShown::Warnings);
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000002")));
            m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the row
            press("ButtonSend");                              // no box: nothing left out, no warning
            finishRun();
        },
        false);
    open([&] {
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000003")));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi bit.ly/abc")));
        answerSendSummary([](QDialog& box) {
            EXPECT_EQ(summaryLine(box, "Link"), QStringLiteral("訊息含有網址，收訊人可能當成詐騙簡訊"));
            EXPECT_TRUE(click(&box, "CheckBoxOnlyWarnings"));
            EXPECT_TRUE(click(&box, "ButtonCancel"));
        });
        press("ButtonSend");
    });
    EXPECT_EQ(ReadSendSettings(m_dir.path()).summary, SummaryShown::Always);
    EXPECT_EQ(sentNumbers().size(), 2);
}

// What goes out otherwise than written is a warning line of the box, in the words the dialog uses elsewhere: list
// texts cut after six short messages (the note under the list), and the "$n$" of a 一般簡訊 message. Neither keeps
// the run from going.
TEST_F(SendSummaryBoxTest, TextsCutAfterSixAndMarksOfAPlainMessageAreWarnedOfAndSent) {
    const QString list =
        writeFile("long.txt", "0911000001 short\n0911000002 " + QByteArray(1000, 'b') + "\n0911000003\n");
    QString note;
    QStringList lines;
    open(
        [&] {
            load(list);
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("您好$1$")));
            note = control<QLabel>("LabelRowsTooLong")->text();
            answerSendSummary([&](QDialog& box) {
                lines << summaryLine(box, "OverlongRows") << summaryLine(box, "MarksAsWritten");
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            press("ButtonSend");
            finishRun();
        },
        false);
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("1 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 2 行"),
                           QStringLiteral("一般簡訊不填入名單的值：訊息中的 $1$ 會照原樣送出，要填入請改用替代簡訊")}));
    EXPECT_EQ(lines.first(), note);
    EXPECT_EQ(sentNumbers().size(), 8) << "short, six of the long row, and the message as it was written";
}

// A list row whose text holds a control character is refused at 傳送 by its line, in the words a message with one
// gets, and nothing is sent: an escape, and U+0080 of a UTF-8 list (it has a Big5 byte of its own).
TEST_F(SendSummaryBoxTest, AListRowWithAControlCharacterRefusesTheRunByItsLine) {
    const struct {
        const char* name;
        QByteArray bytes;
        const char* refusal;
    } cases[] = {
        {"esc.txt", "0911000001 ok\n0911000002 hi\x1b[2J\n",
         "發訊名單第 2 行有看不見的控制字元（U+001B），手機無法顯示，請刪除後再傳送。"},
        {"c1.txt", "0911000001 \xC2\x80 hi\n",
         "發訊名單第 1 行有看不見的控制字元（U+0080），手機無法顯示，請刪除後再傳送。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_prompts.asked.clear();
        open([&] {
            load(writeFile(c.name, c.bytes));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("hi")));
            press("ButtonSend");
            EXPECT_EQ(m_prompts.messages(), QStringList{QString::fromUtf8(c.refusal)});
            EXPECT_TRUE(dialog().isVisible());
        });
    }
    EXPECT_TRUE(m_sim->requests().empty());
}
