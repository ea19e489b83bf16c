#include "support/BookWindowTest.h"

#include "gui/addressbook/TFormSelectMember.h"
#include "gui/compose/TFormSendSMS.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>

using namespace norvi;
using namespace norvi::test;

namespace {

class MemberPickerTest : public BookWindowTest {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        addMember(101, "Alice", "0955123456");
        addMember(102, "王小明", "0912345678");
        addGroup(-301, "P", {101, -302});
        addGroup(-302, "Q", {-303});
        addGroup(-303, "R");
        addGroup(-304, "S", {102});
        startWithBook();
    }

    static QTreeView* all(QDialog* p) { return findControl<QTreeView>(p, "ListViewAll"); }
    static QTreeView* chosen(QDialog* p) { return findControl<QTreeView>(p, "ListViewMember"); }
    static QList<int> images(QTreeView* view) {
        QList<int> list;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            list << view->model()->index(r, 0).data(BookListModel::ImageRole).toInt();
        return list;
    }
    // Right-clicks a row of the chosen entries: their pop-up menu, open.
    static QMenu* chosenPopup(QDialog* p, int row) {
        const QRect place = chosen(p)->visualRect(chosen(p)->model()->index(row, 0));
        EXPECT_TRUE(clickAt(chosen(p)->viewport(), place.center(), Qt::NoModifier, Qt::RightButton));
        return openPopup(*p, "PopupMenuLvMember");
    }
    static void choose(QDialog* picker, const QStringList& names) {
        ASSERT_TRUE(clickRows(all(picker), names));
        ASSERT_TRUE(click(picker, "ButtonSelect"));
    }
    // Opens the picker as the group editor does, for `edited` (or a new group), starting from `entries`;
    // 1 when the user confirmed, with the chosen ids in picked().
    int pickForGroup(const sGroup* edited, std::vector<int32_t> entries, const std::function<void(QDialog*)>& body) {
        TFormSelectMember picker(addressBook(), &mainWindow());
        m_prompts.dialogHandlers.push_back(body);
        m_picked = entries;
        return picker.pickGroupMembers(edited, m_picked) ? 1 : 0;
    }
    std::vector<int32_t> scratch() const { return m_picked; }
    std::vector<int32_t> m_picked;
};

} // namespace

TEST_F(MemberPickerTest, OpensOnTheWholeBookSortedByNameWithTheGroupsEntriesOnTheRight) {
    const int result = pickForGroup(&addressBook().GroupMap().at(-301), {101, -302}, [&](QDialog* p) {
        EXPECT_EQ(p->windowTitle(), QStringLiteral("選擇群組成員"));
        EXPECT_EQ(findControl<QLabel>(p, "LabelMember")->text(), QStringLiteral("成員(&M)："));
        EXPECT_EQ(headers(all(p)),
                  (QStringList{QStringLiteral("名稱 ↑"), QStringLiteral("行動電話"), QStringLiteral("說明")}));
        EXPECT_EQ(captions(all(p)), (QStringList{QStringLiteral("Alice"), QStringLiteral("P"), QStringLiteral("Q"),
                                                 QStringLiteral("R"), QStringLiteral("S"), QStringLiteral("王小明")}));
        EXPECT_EQ(SelectedRows(all(p)), QList<int>{0});
        EXPECT_EQ(captions(chosen(p)), (QStringList{QStringLiteral("Alice"), QStringLiteral("Q")}));
        EXPECT_EQ(images(chosen(p)), (QList<int>{BookIcon::Member, BookIcon::Group}));
        ASSERT_TRUE(clickHeader(all(p), 0));
        EXPECT_EQ(headers(all(p))[0], QStringLiteral("名稱 ↓"));
        ASSERT_TRUE(click(p, "ButtonCancel"));
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(scratch(), (std::vector<int32_t>{101, -302})) << "cancel hands nothing back";
}

TEST_F(MemberPickerTest, GroupsThatContainTheEditedGroupAreRefusedByName) {
    const int result = pickForGroup(&addressBook().GroupMap().at(-303), {}, [&](QDialog* p) {
        choose(p, {QStringLiteral("P"), QStringLiteral("S"), QStringLiteral("R"), QStringLiteral("王小明")});
        choose(p, {QStringLiteral("王小明")}); // chosen twice: kept once
        ASSERT_TRUE(click(p, "ButtonOk"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m_prompts.messages(),
              (QStringList{QStringLiteral("無法將群組'P'加到這個群組，\n原因是群組'P'已經包含這個群組"),
                           QStringLiteral("無法將群組'R'加到這個群組，\n原因是群組'R'已經包含這個群組")}));
    EXPECT_EQ(m_prompts.asked.last().buttons, Prompts::Buttons::Ok);
    EXPECT_EQ(scratch(), (std::vector<int32_t>{-304, 102}));
}

// A new member's save that meets another program's change reads the book anew under the picker: the group
// being edited is still known, and a group that holds it is still refused.
TEST_F(MemberPickerTest, AGroupHoldingTheEditedOneIsRefusedAfterTheBookWasReadAnew) {
    const int result = pickForGroup(&addressBook().GroupMap().at(-303), {}, [&](QDialog* p) {
        m_prompts.dialogHandlers.push_back([&](QDialog* m) {
            AddressBook other;
            other.setFilePath(bookPath());
            ASSERT_TRUE(LoadAddressBook(other).ok);
            other.putMember(test::member(500, "Other", "0933000001"));
            ASSERT_TRUE(SaveAddressBook(other).ok);
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(m, "EditName"), QStringLiteral("Bob")));
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(m, "EditMsisdn"), QStringLiteral("0933")));
            ASSERT_TRUE(click(m, "ButtonOk"));
        });
        ASSERT_TRUE(click(p, "ButtonNewMember"));
        ASSERT_EQ(addressBook().MemberMap().count(500), 1u) << "the book was read anew";
        choose(p, {QStringLiteral("P"), QStringLiteral("S")});
        ASSERT_TRUE(click(p, "ButtonOk"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m_prompts.messages().last(),
              QStringLiteral("無法將群組'P'加到這個群組，\n原因是群組'P'已經包含這個群組"));
    EXPECT_EQ(scratch(), std::vector<int32_t>{-304});
}

TEST_F(MemberPickerTest, AThousandEntriesPassAndOneMoreKeepsThePickerOpen) {
    for (int i = 0; i < kGroupSlots - 1; ++i)
        addressBook().putMember(member(5000 + i, "m", "0911"));
    // 999 new members, 2 members and 4 groups; R is the edited group and P and Q hold it: 1,002 entries.
    bool stayed = false;
    const int result = pickForGroup(&addressBook().GroupMap().at(-303), {}, [&](QDialog* p) {
        all(p)->setFocus();
        ASSERT_TRUE(keyClick(all(p), Qt::Key_A, Qt::ControlModifier));
        ASSERT_TRUE(click(p, "ButtonSelect"));
        ASSERT_TRUE(click(p, "ButtonOk"));
        stayed = p->isVisible();
        EXPECT_EQ(lastMessage(), QStringLiteral("本群組已超過最大成員數(1000)，請移除一些成員！"));
        // Two members fewer: exactly 1,000.
        ASSERT_TRUE(clickRow(chosen(p), 0));
        ASSERT_TRUE(clickRow(chosen(p), 1, Qt::ControlModifier));
        QMenu* popup = chosenPopup(p, 1);
        ASSERT_TRUE(popup);
        EXPECT_FALSE(findControl<QAction>(popup, "PMItemLvMContent")->isEnabled());
        trigger(findControl<QAction>(popup, "PMItemLvMDelete"));
        popup->close();
        ASSERT_TRUE(click(p, "ButtonOk"));
    });
    EXPECT_TRUE(stayed);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(scratch().size(), std::size_t(kGroupSlots));
}

TEST_F(MemberPickerTest, SendModeKeepsListRowsAndTypedNumbersInTheirPlaces) {
    std::list<sMtData> RecipientList = {
        fieldEntry(0, KindTyped, "0911222333"), fieldEntry(101, KindAddressBook, "Alice"),
        fieldEntry(3, KindListRow, "0922333444"), fieldEntry(-304, KindAddressBook, "S"),
        fieldEntry(101, KindAddressBook, "Alice")};
    TFormSelectMember picker(addressBook(), &m_windows->sendSMS());
    m_prompts.dialogHandlers.push_back([&](QDialog* p) {
        EXPECT_TRUE(picker.sendMode());
        EXPECT_EQ(p->windowTitle(), QStringLiteral("選擇受訊者"));
        EXPECT_EQ(findControl<QLabel>(p, "LabelMember")->text(), QStringLiteral("受訊者(&M)："));
        EXPECT_EQ(captions(chosen(p)),
                  (QStringList{QStringLiteral("0911222333"), QStringLiteral("Alice"), QStringLiteral("0922333444"),
                               QStringLiteral("S"), QStringLiteral("Alice")}));
        EXPECT_EQ(images(chosen(p)), (QList<int>{BookIcon::TypedNumber, BookIcon::Member, BookIcon::ListFileRow,
                                                 BookIcon::Group, BookIcon::Member}));
        // 內容 is for members and groups only.
        ASSERT_TRUE(clickRow(chosen(p), 0));
        QMenu* popup = chosenPopup(p, 0);
        ASSERT_TRUE(popup);
        EXPECT_FALSE(findControl<QAction>(popup, "PMItemLvMContent")->isEnabled());
        EXPECT_TRUE(findControl<QAction>(popup, "PMItemLvMDelete")->isEnabled());
        popup->close();
        choose(p, {QStringLiteral("王小明")});
        ASSERT_TRUE(click(p, "ButtonOk"));
    });
    EXPECT_TRUE(picker.pickRecipients(RecipientList));
    std::vector<std::tuple<int32_t, int, QByteArray>> out;
    for (const sMtData& e : RecipientList)
        out.emplace_back(e.id, e.kind, getField(e.label));
    const std::vector<std::tuple<int32_t, int, QByteArray>> expected = {
        {0, KindTyped, "0911222333"},
        {101, KindAddressBook, "Alice"},
        {3, KindListRow, "0922333444"},
        {-304, KindAddressBook, "S"},
        {102, KindAddressBook, big5(QStringLiteral("王小明"))}};
    EXPECT_EQ(out, expected);
}

TEST_F(MemberPickerTest, ANewMemberIsSelectedAndPropertiesUpdateBothLists) {
    Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)));
    const int32_t id = int32_t(Clock::now().toSecsSinceEpoch());
    pickForGroup(nullptr, {101}, [&](QDialog* p) {
        ASSERT_TRUE(clickHeader(all(p), 1));
        m_prompts.dialogHandlers.push_back([&](QDialog* m) {
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(m, "EditName"), QStringLiteral("Bob")));
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(m, "EditMsisdn"), QStringLiteral("0933")));
            ASSERT_TRUE(click(m, "ButtonOk"));
        });
        ASSERT_TRUE(click(p, "ButtonNewMember"));
        EXPECT_EQ(headers(all(p))[0], QStringLiteral("名稱 ↑"));
        const QList<int> selected = SelectedRows(all(p));
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(captions(all(p))[selected.first()], QStringLiteral("Bob"));

        ASSERT_TRUE(clickRows(all(p), {QStringLiteral("Alice")}));
        m_prompts.dialogHandlers.push_back([&](QDialog* m) {
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(m, "EditName"), QStringLiteral("Alicia")));
            ASSERT_TRUE(click(m, "ButtonOk"));
        });
        ASSERT_TRUE(click(p, "ButtonContent"));
        EXPECT_TRUE(captions(all(p)).contains(QStringLiteral("Alicia")));
        EXPECT_EQ(captions(chosen(p)), QStringList{QStringLiteral("Alicia")});
        ASSERT_TRUE(click(p, "ButtonCancel"));
    });
    EXPECT_EQ(addressBook().MemberMap().count(id), 1u);
    EXPECT_EQ(getField(addressBook().MemberMap().at(101).name), "Alicia");
    expectFileIsBook();
}
