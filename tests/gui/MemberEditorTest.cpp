#include "support/BookWindowTest.h"

#include "core/shared/Clock.h"
#include "gui/addressbook/TFormMember.h"

#include <gtest/gtest.h>

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace norvi;
using namespace norvi::test;

namespace {

class MemberEditorTest : public BookWindowTest {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)));
        m_now = Clock::now().toSecsSinceEpoch();
        addMember(102, "王小明", "0911000111;0922000222;@0933000333", "同事");
        addGroup(-201, "同事", {0, 102});
        addGroup(-204, "球隊", {102});
        addGroup(-205, "空的");
        startWithBook();
    }

    static QLineEdit* edit(QDialog* d, const char* name) { return findControl<QLineEdit>(d, name); }
    static QTreeWidget* numbers(QDialog* d) { return findControl<QTreeWidget>(d, "ListViewMsisdn"); }
    static QStringList numberRows(QDialog* d) {
        QStringList rows;
        for (int i = 0; i < numbers(d)->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = numbers(d)->topLevelItem(i);
            rows << item->text(0) + item->text(1) + (item->icon(0).isNull() ? QString() : QStringLiteral("*"));
        }
        return rows;
    }
    static bool addNumber(QDialog* d, const QString& number) {
        return typeInto(edit(d, "EditMsisdn"), number) && click(d, "ButtonAddMsisdn");
    }
    // Runs `body` in the member editor that 新成員 opens in the address book (tree context on `node`).
    void newMember(const QString& node, const std::function<void(QDialog*)>& body) {
        withBook([&](TFormAdrBk& w) {
            ASSERT_TRUE(clickNode(w, node));
            m_prompts.dialogHandlers.push_back(body);
            trigger(item(w, "MItemFNewMember"));
            m_book = &w;
            m_listed = captions(list(w));
            m_selected = SelectedRows(list(w));
            m_listFocused = w.focusWidget() == list(w);
        });
    }
    // Runs `body` in the member editor opened on a row of the whole book with 內容.
    void editMember(const QString& row, const std::function<void(QDialog*)>& body) {
        withBook([&](TFormAdrBk& w) {
            ASSERT_TRUE(clickRows(list(w), {row}));
            m_prompts.dialogHandlers.push_back(body);
            ASSERT_TRUE(click(&w, "SpeedButtonContent"));
            m_listed = captions(list(w));
        });
    }

    qint64 m_now = 0;
    TFormAdrBk* m_book = nullptr;
    QStringList m_listed;
    QList<int> m_selected;
    bool m_listFocused = false;
};

// A row of the number list as numberRows gives it for the default number: its marker and its icon.
QString defaultRow(const char* number) {
    return QString::fromUtf8(number) + QStringLiteral(" (預設手機門號)*");
}

} // namespace

TEST_F(MemberEditorTest, NewMemberWithTwoNumbersAndTheSecondMadeDefault) {
    newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("內容"));
        EXPECT_FALSE(findControl<QPushButton>(d, "ButtonAddMsisdn")->isEnabled());
        EXPECT_FALSE(findControl<QPushButton>(d, "ButtonSetDefMsisdn")->isEnabled());
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("  李大華 ")));
        ASSERT_TRUE(typeInto(edit(d, "EditDesc"), QStringLiteral(" 朋友 ")));
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911111111")));
        EXPECT_EQ(numberRows(d), QStringList{defaultRow("0911111111")});
        ASSERT_TRUE(typeInto(edit(d, "EditMsisdn"), QStringLiteral("0922222222")));
        ASSERT_TRUE(keyClick(edit(d, "EditMsisdn"), Qt::Key_Return)); // Enter adds the number
        EXPECT_TRUE(edit(d, "EditMsisdn")->text().isEmpty());
        ASSERT_TRUE(clickRow(numbers(d), 1));
        ASSERT_TRUE(click(d, "ButtonSetDefMsisdn"));
        EXPECT_EQ(numberRows(d), (QStringList{QStringLiteral("0911111111"), defaultRow("0922222222")}));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    const int32_t id = int32_t(m_now);
    ASSERT_EQ(addressBook().MemberMap().count(id), 1u);
    const sMember& m = addressBook().MemberMap().at(id);
    EXPECT_EQ(getField(m.name), big5(QStringLiteral("李大華")));
    EXPECT_EQ(getField(m.desc), big5(QStringLiteral(" 朋友 "))); // the description is kept as typed
    EXPECT_EQ(getField(m.msisdn), "0911111111;@0922222222");
    expectFileIsBook();
    // The new member is listed, selected, and the list has the focus.
    EXPECT_TRUE(m_listFocused);
    ASSERT_EQ(m_selected.size(), 1);
    EXPECT_EQ(m_listed.at(m_selected.first()), QStringLiteral("李大華"));
}

TEST_F(MemberEditorTest, ANumberLeftInTheFieldIsTakenOnOkStoredBareAndOpensAgainAsTheDefault) {
    newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("單號")));
        ASSERT_TRUE(typeInto(edit(d, "EditMsisdn"), QStringLiteral("0955000111")));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(getField(addressBook().MemberMap().at(int32_t(m_now)).msisdn), "0955000111");
    editMember(QStringLiteral("單號"), [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("單號 內容"));
        EXPECT_EQ(numberRows(d), QStringList{defaultRow("0955000111")});
        EXPECT_TRUE(numbers(d)->topLevelItem(0)->isSelected());
        ASSERT_TRUE(click(d, "ButtonCancel"));
    });
}

TEST_F(MemberEditorTest, TheNumberCheckAcceptsAsksOrRefuses) {
    newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
        ASSERT_TRUE(addNumber(d, QStringLiteral("+886912345678")));
        EXPECT_TRUE(m_prompts.messages().isEmpty()) << "a plus and digits pass silently";

        ASSERT_TRUE(addNumber(d, QStringLiteral("0912-345-678"))); // answered No
        EXPECT_EQ(lastMessage(), QStringLiteral("輸入的內容 0912-345-678 不是有效的手機門號，\n仍然想新增這個門號？"));
        EXPECT_EQ(numbers(d)->topLevelItemCount(), 1);
        EXPECT_EQ(edit(d, "EditMsisdn")->text(), QStringLiteral("0912-345-678")) << "the refused text stays";
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        ASSERT_TRUE(click(d, "ButtonAddMsisdn"));
        EXPECT_EQ(numbers(d)->topLevelItemCount(), 2);

        ASSERT_TRUE(addNumber(d, QStringLiteral("０９１２３４５６７８")));
        EXPECT_EQ(lastMessage(), QStringLiteral("手機門號只能包含ASCII字元"));
        EXPECT_EQ(m_prompts.asked.last().buttons, Prompts::Buttons::Ok);
        EXPECT_EQ(numbers(d)->topLevelItemCount(), 2);
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911;0922")));
        EXPECT_EQ(numbers(d)->topLevelItemCount(), 2) << "a separator would split the number when stored";
        ASSERT_TRUE(click(d, "ButtonCancel"));
    });
    EXPECT_EQ(addressBook().MemberMap().size(), 1u);
}

TEST_F(MemberEditorTest, AnEditedNumberThatIsRefusedGetsItsOldNumberBack) {
    editMember(QStringLiteral("王小明"), [&](QDialog* d) {
        auto editRow = [&](int row, const QString& text) {
            // A click on the row that is already selected would start editing by itself, a moment later.
            if (numbers(d)->selectedItems() != QList<QTreeWidgetItem*>{numbers(d)->topLevelItem(row)}) {
                ASSERT_TRUE(clickRow(numbers(d), row));
            }
            ASSERT_TRUE(click(d, "ButtonEditMsisdn"));
            auto* editor = numbers(d)->findChild<QLineEdit*>();
            ASSERT_NE(editor, nullptr) << "no editor in the row";
            QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(editor, text);
            QTest::keyClick(editor, Qt::Key_Return);
            // The editor hands its text over, and the check runs, once the events in flight are delivered.
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
        };
        editRow(2, QStringLiteral("09-33")); // answered No
        EXPECT_EQ(lastMessage(), QStringLiteral("輸入的內容 09-33 不是有效的手機門號，\n仍然想修改這個門號？"));
        EXPECT_EQ(numberRows(d)[2], defaultRow("0933000333"));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        editRow(2, QStringLiteral("09-44"));
        EXPECT_EQ(numberRows(d)[2], defaultRow("09-44")) << "the default keeps its marker";
        editRow(0, QStringLiteral("0900999888"));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(getField(addressBook().MemberMap().at(102).msisdn), "0900999888;0922000222;@09-44");
    expectFileIsBook();
}

TEST_F(MemberEditorTest, RemovingTheDefaultRowMakesTheFirstRemainingRowTheDefault) {
    editMember(QStringLiteral("王小明"), [&](QDialog* d) {
        ASSERT_TRUE(clickRow(numbers(d), 2));
        ASSERT_TRUE(click(d, "ButtonRemoveMsisdn"));
        EXPECT_EQ(numberRows(d), (QStringList{defaultRow("0911000111"), QStringLiteral("0922000222")}));
        ASSERT_TRUE(clickRow(numbers(d), 0));
        ASSERT_TRUE(clickRow(numbers(d), 1, Qt::ControlModifier));
        ASSERT_TRUE(click(d, "ButtonRemoveMsisdn"));
        EXPECT_FALSE(findControl<QPushButton>(d, "ButtonRemoveMsisdn")->isEnabled());
        ASSERT_TRUE(click(d, "ButtonOk")); // no number left
        EXPECT_EQ(lastMessage(), QStringLiteral("請輸入成員的手機門號"));
        EXPECT_TRUE(d->isVisible());
        ASSERT_TRUE(addNumber(d, QStringLiteral("0955")));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(getField(addressBook().MemberMap().at(102).msisdn), "0955");
    expectFileIsBook();
}

TEST_F(MemberEditorTest, AnExistingMemberShowsItsGroupsAndIsSavedOnOkOnly) {
    const QByteArray before = fileBytes();
    editMember(QStringLiteral("王小明"), [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("王小明 內容"));
        auto* belong = findControl<QListWidget>(d, "ListBoxBelong");
        ASSERT_EQ(belong->count(), 2);
        EXPECT_EQ(belong->item(0)->text(), QStringLiteral("同事"));
        EXPECT_EQ(belong->item(1)->text(), QStringLiteral("球隊"));
        ASSERT_TRUE(typeInto(edit(d, "EditDesc"), QStringLiteral("改過")));
        ASSERT_TRUE(click(d, "ButtonCancel"));
    });
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(getField(addressBook().MemberMap().at(102).desc), big5(QStringLiteral("同事")));
    editMember(QStringLiteral("王小明"), [&](QDialog* d) {
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("王大明")));
        ASSERT_TRUE(typeInto(edit(d, "EditDesc"), QStringLiteral("改過")));
        ASSERT_TRUE(addNumber(d, QStringLiteral("0966"))); // added at the end; the default stays
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(getField(addressBook().MemberMap().at(102).name), big5(QStringLiteral("王大明")));
    EXPECT_EQ(getField(addressBook().MemberMap().at(102).msisdn), "0911000111;0922000222;@0933000333;0966");
    EXPECT_TRUE(m_listed.contains(QStringLiteral("王大明"))) << "the list shows the new name";
    expectFileIsBook();
}

TEST_F(MemberEditorTest, TextsThatCannotBeStoredAreRefusedWithTheReason) {
    newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911")));
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("小明😀")));
        ASSERT_TRUE(click(d, "ButtonOk"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("😀")));
        EXPECT_TRUE(d->isVisible());
        for (int i = 0; i < 12; ++i)
            ASSERT_TRUE(addNumber(d, QStringLiteral("0912345678")));
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("小明")));
        ASSERT_TRUE(click(d, "ButtonOk"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("120"))) << "13 numbers do not fit in 120 bytes";
        EXPECT_TRUE(d->isVisible());
        ASSERT_TRUE(click(d, "ButtonCancel"));
    });
    EXPECT_EQ(addressBook().MemberMap().size(), 1u);
}

// Names and descriptions typed through an input method: compositions then commits, with the same
// refusal as typed text for a commit without a Big5 form.
TEST_F(MemberEditorTest, EditorFieldsTakeInputMethodCompositionsAndCommits) {
    const auto compose = [](QWidget* edit, const QString& preedit, const QString& commit) {
        edit->setFocus();
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(edit, &event);
    };
    newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911")));
        compose(edit(d, "EditName"), QStringLiteral("ㄨㄤˊ"), QString());
        compose(edit(d, "EditName"), QString(), QStringLiteral("王"));
        compose(edit(d, "EditName"), QString(), QStringLiteral("😀"));
        compose(edit(d, "EditDesc"), QStringLiteral("ㄊㄨㄥˊ"), QString());
        compose(edit(d, "EditDesc"), QString(), QStringLiteral("同事"));
        ASSERT_TRUE(click(d, "ButtonOk"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("😀")));
        ASSERT_TRUE(keyClick(edit(d, "EditName"), Qt::Key_Backspace)); // the emoji goes as one character
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(getField(addressBook().MemberMap().at(int32_t(m_now)).name), big5("王"));
    EXPECT_EQ(getField(addressBook().MemberMap().at(int32_t(m_now)).desc), big5("同事"));
}

TEST_F(MemberEditorTest, ANewMemberJoinsTheGroupSelectedInTheTreeAtItsFirstEmptySlot) {
    newMember(QStringLiteral("同事"), [&](QDialog* d) {
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911")));
        ASSERT_TRUE(typeInto(edit(d, "EditName"), QStringLiteral("新人")));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(addressBook().GroupMap().at(-201).members[0], int32_t(m_now));
    EXPECT_EQ(addressBook().GroupMap().at(-201).members[1], 102);
    EXPECT_EQ(m_listed, (QStringList{QStringLiteral("王小明"), QStringLiteral("新人")}));
    EXPECT_EQ(m_listed.at(m_selected.value(0, -1)), QStringLiteral("新人"));
    EXPECT_TRUE(m_listFocused);
    expectFileIsBook();
}

TEST_F(MemberEditorTest, AFullGroupTakesNoNewMemberButTheBookDoes) {
    std::vector<int32_t> full;
    for (int i = 0; i < kGroupSlots; ++i)
        full.push_back(102);
    addGroup(-206, "滿了", full);
    newMember(QStringLiteral("滿了"), [&](QDialog* d) {
        ASSERT_TRUE(addNumber(d, QStringLiteral("0911")));
        ASSERT_TRUE(click(d, "ButtonOk"));
    });
    EXPECT_EQ(lastMessage(), QStringLiteral("本群組已達最大成員數(1000)，無法再新增其他成員！"));
    EXPECT_EQ(addressBook().MemberMap().count(int32_t(m_now)), 1u);
    EXPECT_EQ(addressBook().GroupMap().at(-206).members[kGroupSlots - 1], 102);
    expectFileIsBook();
}

TEST_F(MemberEditorTest, TwoMembersMadeInTheSameSecondGetNeighbouringIds) {
    for (const char* number : {"0911", "0922"})
        newMember(QStringLiteral("我的連絡人"), [&](QDialog* d) {
            ASSERT_TRUE(addNumber(d, QString::fromLatin1(number)));
            ASSERT_TRUE(click(d, "ButtonOk"));
        });
    EXPECT_EQ(getField(addressBook().MemberMap().at(int32_t(m_now)).msisdn), "0911");
    EXPECT_EQ(getField(addressBook().MemberMap().at(int32_t(m_now) + 1).msisdn), "0922");
}
