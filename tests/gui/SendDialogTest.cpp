#include "SendDialogFixture.h"

#include "core/addressbook/BookFile.h"
#include "gui/sendlog/TFormShowMsg.h"
#include "support/BookRecords.h"

#include <QInputMethodEvent>
#include <QMap>
#include <QPlainTextEdit>
#include <QTreeView>

using namespace norvi;
using namespace norvi::test;

namespace {

class SendDialogTest : public SendDialogFixture {
protected:
    // Chooses a reservation with the drop-downs: the year by its text, the others by their numbers.
    void reserve(const char* year, int month, int day, int hour, int minute) {
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonSendOrder")));
        QComboBox* years = combo("ComboBoxOTYear");
        ASSERT_TRUE(pickItem(years, years->findText(QString::fromLatin1(year))));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTMonth"), month - 1));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTDay"), day - 1));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTHour"), hour));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTMinute"), minute));
    }
    // Presses 傳送 and returns the warning it showed, or an empty text when none came.
    QString sendAndWarning() {
        const qsizetype before = m_prompts.messages().size();
        press("ButtonSend");
        const QStringList texts = m_prompts.messages();
        return texts.size() > before ? texts.last() : QString();
    }
    QStringList items(const char* name) {
        QStringList out;
        for (int i = 0; i < combo(name)->count(); ++i)
            out << combo(name)->itemText(i);
        return out;
    }
};

} // namespace

TEST_F(SendDialogTest, OpensWithItsCaptionsResetDropDownsAndAccessibleInputs) {
    open([&] {
        EXPECT_EQ(dialog().windowTitle(), QStringLiteral("發送訊息"));
        EXPECT_GE(dialog().width(), 569);
        EXPECT_EQ(dialog().minimumSize(), QSize(569, 359));
        EXPECT_TRUE(control<QRadioButton>("RadioButtonSendNow")->isChecked());
        EXPECT_TRUE(control<QRadioButton>("RadioButtonNormalMsg")->isChecked());
        EXPECT_FALSE(control<QCheckBox>("CheckBoxExpTime")->isChecked());
        EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));
        EXPECT_TRUE(field()->insertMode());
        for (const char* name : {"ComboBoxOTYear", "ComboBoxOTMonth", "ComboBoxOTDay", "ComboBoxOTHour",
                                 "ComboBoxOTMinute", "ComboBoxExpHour", "ComboBoxExpMinute"})
            EXPECT_FALSE(combo(name)->isEnabled()) << name;
        // Tomorrow at this minute.
        EXPECT_EQ(items("ComboBoxOTYear"), QStringList{QStringLiteral("2024")});
        EXPECT_EQ(combo("ComboBoxOTMonth")->currentText(), QStringLiteral("  3"));
        EXPECT_EQ(combo("ComboBoxOTDay")->currentText(), QStringLiteral("  2"));
        EXPECT_EQ(combo("ComboBoxOTDay")->count(), 31);
        EXPECT_EQ(combo("ComboBoxOTHour")->currentText(), QStringLiteral("  9"));
        EXPECT_EQ(combo("ComboBoxOTMinute")->currentText(), QStringLiteral("30"));
        EXPECT_EQ(items("ComboBoxExpHour").last(), QStringLiteral("23"));
        EXPECT_EQ(combo("ComboBoxExpMinute")->currentText(), QStringLiteral("  0"));

        const QStringList names{QStringLiteral("受訊者"), QStringLiteral("訊息內容"), QStringLiteral("年"),
                                QStringLiteral("月"),     QStringLiteral("日"),       QStringLiteral("時"),
                                QStringLiteral("分"),     QStringLiteral("小時")};
        QStringList found;
        for (QWidget* w : dialog().findChildren<QWidget*>())
            if (!w->accessibleName().isEmpty())
                found << w->accessibleName();
        for (const QString& name : names)
            EXPECT_TRUE(found.contains(name)) << name.toStdString();

        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonSendOrder")));
        EXPECT_TRUE(combo("ComboBoxOTDay")->isEnabled());
        ASSERT_TRUE(click(control<QCheckBox>("CheckBoxExpTime")));
        EXPECT_TRUE(combo("ComboBoxExpHour")->isEnabled());
        ASSERT_TRUE(click(control<QCheckBox>("CheckBoxExpTime")));
        EXPECT_FALSE(combo("ComboBoxExpMinute")->isEnabled());
    });
}

TEST_F(SendDialogTest, ChecksComeInTheirOrderAndEachLeavesTheDialogAsItWas) {
    open([&] {
        // The recipients come first, even when the message is missing too.
        EXPECT_EQ(sendAndWarning(), QStringLiteral("請選擇、上載或輸入受訊者！"));
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0912345678")));

        // Exactly six days ahead, to the minute, is accepted: the next check (the empty message) speaks.
        reserve("2024", 3, 7, 9, 30);
        EXPECT_EQ(sendAndWarning(), QStringLiteral("請輸入訊息內容！"));
        reserve("2024", 3, 7, 9, 31);
        EXPECT_EQ(sendAndWarning(), QStringLiteral("預約傳送超過6天限制！"));
        // The current minute is past as soon as its first second has begun.
        reserve("2024", 3, 1, 9, 30);
        EXPECT_EQ(sendAndWarning(), QStringLiteral("請輸入訊息內容！"));
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 1)));
        EXPECT_EQ(sendAndWarning(), QStringLiteral("不可預約過去的時間！"));
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonSendNow")));

        ASSERT_TRUE(typeInto(memo(), QStringLiteral("請回電0912345678")));
        EXPECT_EQ(
            sendAndWarning(),
            QStringLiteral("簡訊內容包含電話號嗎，請用 '-' 符號分開才可正常傳送，如 02-2344xxxx或 0910-123xxx。"));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("請回電0912-345678")));
        editConfig([](sConfig& c) { putField(c.gwIp, QByteArray("nonexistent.invalid")); });
        const QString gatewayError = sendAndWarning();
        EXPECT_FALSE(gatewayError.isEmpty());

        EXPECT_TRUE(dialog().isVisible());
        EXPECT_EQ(fieldText(), QStringLiteral("0912345678"));
        EXPECT_EQ(memo()->toPlainText(), QStringLiteral("請回電0912-345678"));
        EXPECT_EQ(mainWindow().jobRows().rowCount(), 0);
        EXPECT_TRUE(m_sim->requests().empty());
    });
    for (const ScriptedPrompts::Asked& a : m_prompts.asked)
        if (a.kind == QLatin1String("message")) {
            EXPECT_EQ(a.icon, Prompts::Icon::Warning);
            EXPECT_EQ(a.buttons, Prompts::Buttons::Ok);
        }
}

TEST_F(SendDialogTest, YearListReachesIntoTheNextYearOnlyAtTheEndOfDecember) {
    struct Case {
        QDate today;
        QStringList years;
        QString selected;
    } const cases[] = {{QDate(2024, 12, 29), {QStringLiteral("2024")}, QStringLiteral("2024")},
                       {QDate(2024, 12, 30), {QStringLiteral("2024"), QStringLiteral("2025")}, QStringLiteral("2024")},
                       {QDate(2024, 12, 31), {QStringLiteral("2024"), QStringLiteral("2025")}, QStringLiteral("2025")}};
    for (const Case& c : cases) {
        Clock::setFixed(QDateTime(c.today, QTime(23, 59, 0)));
        open([&] {
            EXPECT_EQ(items("ComboBoxOTYear"), c.years) << c.today.toString().toStdString();
            EXPECT_EQ(combo("ComboBoxOTYear")->currentText(), c.selected);
        });
    }
}

TEST_F(SendDialogTest, DayListFollowsTheMonthAndKeepsTheDayWhereItCan) {
    Clock::setFixed(QDateTime(QDate(2024, 3, 30), QTime(10, 0, 0))); // tomorrow is 31 March of a leap year
    open([&] {
        ASSERT_EQ(combo("ComboBoxOTDay")->currentText(), QStringLiteral("31"));
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonSendOrder")));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTMonth"), 1)); // February
        EXPECT_EQ(combo("ComboBoxOTDay")->count(), 29);
        EXPECT_EQ(combo("ComboBoxOTDay")->currentText(), QStringLiteral("29"));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTDay"), 9));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTMonth"), 3)); // April keeps the 10th
        EXPECT_EQ(combo("ComboBoxOTDay")->count(), 30);
        EXPECT_EQ(combo("ComboBoxOTDay")->currentText(), QStringLiteral("10"));
    });
    Clock::setFixed(QDateTime(QDate(2023, 3, 30), QTime(10, 0, 0)));
    open([&] {
        ASSERT_TRUE(click(control<QRadioButton>("RadioButtonSendOrder")));
        ASSERT_TRUE(pickItem(combo("ComboBoxOTMonth"), 1));
        EXPECT_EQ(combo("ComboBoxOTDay")->count(), 28);
        EXPECT_EQ(combo("ComboBoxOTDay")->currentText(), QStringLiteral("28"));
    });
}

TEST_F(SendDialogTest, CountLabelFollowsEveryChangeOfTheText) {
    open([&] {
        const struct {
            QString text;
            int count;
        } cases[] = {{QString(), 1},
                     {QStringLiteral("a").repeated(159), 1},
                     {QStringLiteral("a").repeated(160), 2},
                     {QStringLiteral("王").repeated(70), 1},
                     {QStringLiteral("王").repeated(71), 2},
                     {QStringLiteral("a").repeated(100) + QStringLiteral("王").repeated(50), 2},
                     {QStringLiteral("a").repeated(400), 3},
                     {QStringLiteral("a").repeated(1000), 6},
                     {QStringLiteral("王").repeated(1000), 6}};
        // Six short messages hold 930 one-byte characters or 396 Chinese ones after their "k/6-" headers.
        const QMap<int, QString> dropped{{1000, QStringLiteral("，超過的 70 個字不會送出")}};
        for (const auto& c : cases) {
            ASSERT_TRUE(typeInto(memo(), c.text));
            const QString tail = c.text.startsWith(QLatin1Char('a')) ? dropped.value(int(c.text.size()))
                                 : c.text.size() == 1000 ? QStringLiteral("，超過的 604 個字不會送出")
                                                         : QString();
            EXPECT_EQ(countText(), QStringLiteral("總共需要 %1 通簡訊").arg(c.count) + tail) << c.text.size();
            if (!tail.isEmpty()) { // the whole warning is on screen, not cut at the label's edge
                QLabel* label = control<QLabel>("LabelMsgNo");
                QCoreApplication::processEvents();
                const QRect needed = label->fontMetrics().boundingRect(
                    label->contentsRect(), int(label->alignment()) | Qt::TextWordWrap, label->text());
                EXPECT_TRUE(label->contentsRect().contains(needed)) << needed.width() << "x" << needed.height();
            }
        }
        // One more key on 159 characters makes the second short message.
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("a").repeated(159)));
        QTest::keyClick(memo(), Qt::Key_B);
        EXPECT_EQ(countText(), QStringLiteral("總共需要 2 通簡訊"));
    });
}

// 注音 or 倉頡 through an input method: the composition shows while it is typed, the commit is the
// text, and a commit without a Big5 form is refused at 傳送 as a typed one is.
TEST_F(SendDialogTest, TheMessageFieldTakesInputMethodCompositionsAndCommits) {
    open([&] {
        const auto compose = [&](const QString& preedit, const QString& commit) {
            QInputMethodEvent event(preedit,
                                    {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, preedit.size(), 1)});
            event.setCommitString(commit);
            QCoreApplication::sendEvent(memo(), &event);
        };
        memo()->setFocus();
        compose(QStringLiteral("ㄐㄧㄣ"), QString());
        EXPECT_EQ(memo()->toPlainText(), QString()) << "a composition is not text yet";
        compose(QString(), QStringLiteral("今晚"));
        compose(QStringLiteral("ㄎㄞ"), QString());
        compose(QString(), QStringLiteral("開會"));
        EXPECT_EQ(memo()->toPlainText(), QStringLiteral("今晚開會"));
        EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));

        compose(QString(), QStringLiteral("😀"));
        typeInto(field(), QStringLiteral("0912345678"));
        ASSERT_TRUE(press("ButtonSend"));
        EXPECT_EQ(m_prompts.messages().value(0), unmappableMessage(QStringLiteral("😀")));
    });
}

TEST_F(SendDialogTest, PreviewShowsEachShortMessageWithItsHeader) {
    open([&] {
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("a").repeated(160)));
        QString shown;
        QString title;
        QString announced;
        m_prompts.dialogHandlers.push_back([&](QDialog* viewer) {
            title = viewer->windowTitle();
            shown = static_cast<TFormShowMsg*>(viewer)->text();
            announced = findControl<QPlainTextEdit>(viewer, "MemoMsg")->accessibleName();
            viewer->accept();
        });
        ASSERT_TRUE(press("SpeedButtonPreview"));
        EXPECT_EQ(title, QStringLiteral("簡訊預覽"));
        EXPECT_EQ(announced, QStringLiteral("簡訊預覽")) << "a screen reader names the text by its own window";
        EXPECT_EQ(shown, QStringLiteral("第 1 通\n1/2-") + QStringLiteral("a").repeated(155) +
                             QStringLiteral("\n第 2 通\n2/2-aaaaa"));
    });
}

TEST_F(SendDialogTest, ARunFillsTheSendLogThroughTheGatewayAndItsTextComesBack) {
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000001; 0912000002; 0912000001")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("會議改到三點")));
            QStringList lines;
            answerSendSummary([&](QDialog& box) {
                lines << summaryLine(box, "Count") << summaryLine(box, "LeftOut");
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            press("ButtonSend");
            EXPECT_EQ(lines, (QStringList{QStringLiteral("收訊人 2 位、共 2 通簡訊"),
                                          QStringLiteral("略過：重複 1、拒收 0、號碼不符 0")}));
            EXPECT_TRUE(dialog().isVisible()) << "the dialog keeps its modal show while its run goes on";
            EXPECT_FALSE(dialog().isEnabled());
            EXPECT_TRUE(progress().isVisible());
            EXPECT_TRUE(progress().isModal()) << "above the modal dialog, or its button could not be pressed";
            EXPECT_TRUE(mainWindow().runLocked()) << "the log's commands wait until the run's end is confirmed";
            finishRun();
            EXPECT_FALSE(dialog().isVisible()) << "confirming the end closes the dialog";
        },
        false);
    EXPECT_FALSE(mainWindow().runLocked());
    EXPECT_TRUE(mainWindow().isEnabled());
    EXPECT_TRUE(dialog().isEnabled());
    EXPECT_EQ(progress().tracker().statusText(), QStringLiteral("簡訊傳送完成：成功 2 筆，失敗 0 筆"));
    EXPECT_EQ(progress().tracker().progressText(), QStringLiteral("2 / 2(100%)"));
    EXPECT_EQ(sentNumbers(), (QStringList{QStringLiteral("0912000001"), QStringLiteral("0912000002")}))
        << "a number typed twice goes once";
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(cell(row, ColSendCode), QStringLiteral("0"));
        EXPECT_TRUE(cell(row, ColSendResult).startsWith(QStringLiteral("訊息已成功送出(MsgId:")));
        EXPECT_EQ(cell(row, ColContent), QStringLiteral("會議改到三點"));
        EXPECT_EQ(cell(row, ColSendTime), QStringLiteral("20240301093000"));
    }

    open([&] {
        EXPECT_EQ(fieldText(), QString()) << "the run emptied the field";
        EXPECT_EQ(memo()->toPlainText(), QStringLiteral("會議改到三點"));
    });
}

TEST_F(SendDialogTest, AReservationGoesWithItsTimeAndTheValidityLimit) {
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000001")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("明天見")));
            reserve("2024", 3, 4, 18, 5);
            ASSERT_TRUE(click(control<QCheckBox>("CheckBoxExpTime")));
            ASSERT_TRUE(pickItem(combo("ComboBoxExpHour"), 2));
            ASSERT_TRUE(pickItem(combo("ComboBoxExpMinute"), 30));
            answerSendSummary([](QDialog& box) {
                EXPECT_EQ(summaryLine(box, "Reservation"), QStringLiteral("預約時間：2024/03/04 18:05"));
                EXPECT_EQ(summaryLine(box, "Validity"), QStringLiteral("有效期限：2 小時 30 分鐘"));
                EXPECT_EQ(summaryLine(box, "QuietHours"), QString()) << "18:05 is no night";
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            press("ButtonSend");
        },
        false);
    finishRun();
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 1);
    EXPECT_EQ(cell(0, ColSendTime), QStringLiteral("20240304180500"));
    const std::vector<sGwRequest> requests = m_sim->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requestParams(requests.back()), (QList<QByteArray>{"0912000001", "04", "240304180500", "0150"}));
}

// The reservation is checked when 傳送 is pressed, but the summary box may stay open past the booked minute (a
// night run moved to 08:00 as well): the gateway would refuse every message of a run sent with a past time.
TEST_F(SendDialogTest, AReservationThatPassedWhileTheSummaryWasOpenIsNotSent) {
    open([&] {
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000001")));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("馬上開會")));
        reserve("2024", 3, 1, 9, 32);
        answerSendSummary([](QDialog& box) {
            Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 32, 30)));
            EXPECT_TRUE(click(&box, "ButtonSend"));
        });
        EXPECT_EQ(sendAndWarning(), QStringLiteral("不可預約過去的時間！"));
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_EQ(fieldText(), QStringLiteral("0912000001"));
    });
    EXPECT_TRUE(sentNumbers().isEmpty());
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 0);
}

TEST_F(SendDialogTest, SendLogRowOpensTheDialogWithItsTextInsteadOfTheLastOne) {
    addLogRow("A", "0912000001", "0", big5("訊息已成功送出(MsgId:X)"), big5("原本的訊息"));
    clickRow(mainWindow().listView(), 0);
    QString opened;
    m_prompts.dialogHandlers.push_back([&](QDialog*) {
        opened = memo()->toPlainText();
        EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));
        press("ButtonCancel");
    });
    ASSERT_TRUE(trigger(menuItem("PMItemLvOSendSMS")));
    EXPECT_EQ(opened, QStringLiteral("原本的訊息"));
}

TEST_F(SendDialogTest, ListFileRowsJoinTheFieldInItalicsAndASecondFileReplacesThem) {
    const QString first = writeFile("first.txt", "0911000001\n0911000002 Hello\n\n ,no number\n");
    const QString second = writeFile("second.txt", big5("0922000001 $王$$50$\r\n"));
    open([&] {
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0933000001")));
        m_prompts.fileNames.push_back(first);
        ASSERT_TRUE(press("SpeedButtonLoadMT"));
        EXPECT_FALSE(dialog().isEnabled()) << "the dialog waits for the load's end to be confirmed";
        QCoreApplication::sendPostedEvents(&progress(), WM_SHOWPROCESS);
        EXPECT_EQ(progress().tracker().statusText(), QStringLiteral("發訊名單載入完成"));
        EXPECT_EQ(progress().tracker().progressText(), QStringLiteral("4 / 4(100%)"));
        EXPECT_TRUE(m_prompts.messages().last().contains(QStringLiteral("發訊名單第 4 行沒有電話號碼")));
        ASSERT_TRUE(click(&progress(), "ButtonOk"));
        EXPECT_TRUE(dialog().isEnabled());
        EXPECT_EQ(parsed(), (QStringList{QStringLiteral("2:0:0933000001"), QStringLiteral("1:0:0911000001"),
                                         QStringLiteral("1:1:0911000002")}))
            << "a row without a number has nothing to show";
        EXPECT_EQ(fieldText(), QStringLiteral("0933000001; 0911000001; 0911000002; "));
        EXPECT_TRUE(field()->keyAt(at(QStringLiteral("0911000002"))).entry);

        ASSERT_NO_FATAL_FAILURE(load(second));
        EXPECT_EQ(parsed(), (QStringList{QStringLiteral("2:0:0933000001"), QStringLiteral("1:0:0922000001")}));

        // A file that cannot be used changes nothing.
        m_prompts.fileNames.push_back(writeFile("bad.txt", "0912\n\xFF\xFF\n"));
        ASSERT_TRUE(press("SpeedButtonLoadMT"));
        EXPECT_TRUE(m_prompts.messages().last().contains(QStringLiteral("第 2 行不是 Big5 或 UTF-8 文字")));
        EXPECT_EQ(parsed(), (QStringList{QStringLiteral("2:0:0933000001"), QStringLiteral("1:0:0922000001")}));
        EXPECT_EQ(box().recipients().ListFileRows.size(), 1u);
    });
    EXPECT_EQ(m_prompts.asked.at(1).kind, QStringLiteral("open"));
    EXPECT_EQ(m_prompts.asked.at(1).title, QStringLiteral("載入發訊名單"));
}

TEST_F(SendDialogTest, ReplacementMessagesAreCountedAndSentPerRow) {
    const QString list = writeFile("bill.txt", big5("0922000001 $王小明$$1200$\r\n0922000002\r\n"));
    open(
        [&] {
            ASSERT_NO_FATAL_FAILURE(load(list));
            EXPECT_EQ(fieldText(), QStringLiteral("0922000001; 0922000002; "));
            // 159 one-byte characters fit one short message; with the name filled in they need two.
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("$1$") + QStringLiteral("a").repeated(156)));
            EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));

            // A click on the row with its own values shows that row's count; 一般簡訊/替代簡訊 recount at once.
            ASSERT_TRUE(clickChar(at(QStringLiteral("0922000001")) + 2));
            EXPECT_EQ(selected(), QStringLiteral("0922000001"));
            EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊")) << "一般簡訊 sends the row's values themselves";
            ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
            EXPECT_EQ(countText(), QStringLiteral("總共需要 2 通簡訊"));
            ASSERT_TRUE(click(control<QRadioButton>("RadioButtonNormalMsg")));
            EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"));
            ASSERT_TRUE(click(control<QRadioButton>("RadioButtonReplaceMsg")));
            ASSERT_TRUE(clickAfterText());
            EXPECT_EQ(countText(), QStringLiteral("總共需要 1 通簡訊"))
                << "a click on plain text shows the message's own count";
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("親愛的$1$您好，本月帳單$2$元。")));
            // The row without values is a line of the summary; 傳送 sends it with the fields empty.
            QString named;
            answerSendSummary([&](QDialog& box) {
                named = summaryLine(box, "EmptyFields");
                EXPECT_TRUE(click(&box, "ButtonSend"));
            });
            press("ButtonSend");
            EXPECT_EQ(named, QStringLiteral("以下 1 位受訊者的訊息缺少替代欄位的值：第 2 行缺 $1$、$2$"));
            EXPECT_TRUE(m_prompts.messages().isEmpty()) << "no box of its own";
        },
        false);
    finishRun();
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 2);
    QStringList contents;
    for (int row = 0; row < 2; ++row)
        contents << cell(row, ColContent);
    contents.sort();
    EXPECT_EQ(contents, (QStringList{QStringLiteral("親愛的您好，本月帳單元。"),
                                     QStringLiteral("親愛的王小明您好，本月帳單1200元。")}));
}

TEST_F(SendDialogTest, EntriesFromTheAddressBookStayWhenTheDialogCloses) {
    addressBook().putMember(test::member(5, big5("王小明"), "0912000005"));
    for (int round = 0; round < 2; ++round) {
        // What the address book's 發訊 asks for: the field's entries, then the chosen ones.
        m_prompts.dialogHandlers.push_back([&](QDialog*) { press("ButtonCancel"); });
        dialog().openFor(SendOpener::AddressBook, QString(), {entry(5, KindAddressBook, "王小明")});
    }
    EXPECT_EQ(parsed(), (QStringList{QStringLiteral("0:5:王小明"), QStringLiteral("0:5:王小明")}));

    open([] {});
    EXPECT_EQ(fieldText(), QString()) << "opened from the main window, closing empties the field";
}

TEST_F(SendDialogTest, RunThatCannotBeSentIsRefusedBeforeTheLogIsTouched) {
    addLogRow("A", "0912000001", "0", big5("訊息已成功送出(MsgId:X)"));
    addressBook().putMember(test::member(5, big5("王小明"), QByteArray(30, '9')));
    open([&] {
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0").repeated(30)));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("hello")));
        // Typed, the long text is first no number, left out; sent anyway, it refuses the run, and 傳送 with it.
        answerSendSummary([](QDialog& box) {
            EXPECT_TRUE(summaryLine(box, "NothingToSend").startsWith(QStringLiteral("所有受訊者都已略過")));
            EXPECT_TRUE(click(&box, "RadioSummaryOddNumbers1"));
            EXPECT_TRUE(summaryLine(box, "NothingToSend").startsWith(QStringLiteral("受訊者號碼過長")));
            EXPECT_FALSE(findControl<QPushButton>(&box, "ButtonSend")->isEnabled());
            EXPECT_TRUE(click(&box, "ButtonCancel"));
        });
        EXPECT_EQ(sendAndWarning(), QString());
        EXPECT_TRUE(dialog().isVisible());
        // A member's number is refused at once.
        render({entry(5, KindAddressBook, "王小明")});
        EXPECT_TRUE(sendAndWarning().startsWith(QStringLiteral("受訊者號碼過長")));
    });
    EXPECT_FALSE(m_prompts.messages().contains(QStringLiteral("要清除現有的傳送紀錄？")));
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 1);
    EXPECT_FALSE(jobs().workerRegistered());
}

TEST_F(SendDialogTest, ThePickerAddsItsChoicesAfterTheFieldsEntriesAndCancelChangesNothing) {
    addressBook().putMember(test::member(102, big5("王小明"), "0912345678"));
    addressBook().putGroup(test::named(test::group(-301, {{0, 102}}), big5("業務部")));
    // Picks rows of the whole book by their captions, then 選擇 and OK (or 取消).
    const auto pick = [this](const QStringList& names, const char* finish) {
        m_prompts.dialogHandlers.push_back([names, finish](QDialog* picker) {
            auto* all = findControl<QTreeView>(picker, "ListViewAll");
            ASSERT_NE(all, nullptr);
            EXPECT_EQ(picker->windowTitle(), QStringLiteral("選擇受訊者"));
            bool first = true;
            for (const QString& name : names) {
                int row = 0;
                while (row < all->model()->rowCount() && all->model()->index(row, 0).data().toString() != name)
                    ++row;
                ASSERT_TRUE(clickRow(all, row, first ? Qt::NoModifier : Qt::ControlModifier)) << name.toStdString();
                first = false;
            }
            ASSERT_TRUE(click(picker, "ButtonSelect"));
            ASSERT_TRUE(click(picker, finish));
        });
        ASSERT_TRUE(press("SpeedButtonMT"));
    };
    open([&] {
        ASSERT_TRUE(typeInto(field(), QStringLiteral("0911222333")));
        ASSERT_TRUE(typeInto(memo(), QStringLiteral("a").repeated(200)));
        // The chosen rows come in the order of the book's list, after what the field held.
        pick({QStringLiteral("業務部"), QStringLiteral("王小明")}, "ButtonOk");
        EXPECT_EQ(parsed(), (QStringList{QStringLiteral("2:0:0911222333"), QStringLiteral("0:102:王小明"),
                                         QStringLiteral("0:-301:業務部")}));
        EXPECT_EQ(fieldText(), QStringLiteral("0911222333; 王小明; 業務部; "));
        EXPECT_TRUE(field()->entryAt(at(QStringLiteral("王小明"))).valid());
        EXPECT_EQ(countText(), QStringLiteral("總共需要 2 通簡訊"));

        pick({QStringLiteral("王小明")}, "ButtonCancel");
        EXPECT_EQ(fieldText(), QStringLiteral("0911222333; 王小明; 業務部; "));
        EXPECT_EQ(parsed().size(), 3);
    });
}
