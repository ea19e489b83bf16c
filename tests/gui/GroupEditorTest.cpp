#include "support/BookWindowTest.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>

#include <set>

using namespace norvi;
using namespace norvi::test;

namespace {

class GroupEditorTest : public BookWindowTest {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)));
        m_now = Clock::now().toSecsSinceEpoch();
        addMember(101, "Alice", "0955123456");
        addMember(102, "王小明", "0912345678");
        addMember(103, "陳美玲", "+886912000999");
        addGroup(-201, "同事", {102, 103});
        addGroup(-202, "朋友", {101, -201});
        addGroup(-203, "家人");
    }

    static QListView* entries(QDialog* d) { return findControl<QListView>(d, "ListViewMember"); }
    static QStringList entryNames(QDialog* d) {
        QStringList names;
        for (int r = 0; r < entries(d)->model()->rowCount(); ++r)
            names << entries(d)->model()->index(r, 0).data().toString();
        return names;
    }
    static QString count(QDialog* d) { return findControl<QLabel>(d, "LabelCountMember")->text(); }
    static bool clickEntry(QDialog* d, const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const int row = int(entryNames(d).indexOf(name));
        if (row < 0) {
            ADD_FAILURE() << "no entry " << name.toStdString();
            return false;
        }
        QListView* view = entries(d);
        view->scrollTo(view->model()->index(row, 0));
        return clickAt(view->viewport(), view->visualRect(view->model()->index(row, 0)).center(), modifiers);
    }
    // In the picker: each name is chosen on its own, in the order given.
    static void choose(QDialog* picker, const QStringList& names) {
        for (const QString& name : names) {
            ASSERT_TRUE(clickRows(findControl<QTreeView>(picker, "ListViewAll"), {name}));
            ASSERT_TRUE(click(picker, "ButtonSelect"));
        }
    }
    // Opens the group editor on a tree node with 內容 (tree context).
    void editGroup(TFormAdrBk& w, const QString& node, const std::function<void(QDialog*)>& body) {
        ASSERT_TRUE(clickNode(w, node));
        m_prompts.dialogHandlers.push_back(body);
        ASSERT_TRUE(click(&w, "SpeedButtonContent"));
    }

    qint64 m_now = 0;
};

} // namespace

TEST_F(GroupEditorTest, ANewGroupFilledThroughThePickerIsSavedInNameOrder) {
    startWithBook();
    const int32_t id = -int32_t(m_now);
    withBook([&](TFormAdrBk& w) {
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral("內容"));
            EXPECT_EQ(count(d), QStringLiteral("0 個成員"));
            EXPECT_FALSE(findControl<QPushButton>(d, "ButtonRemoveMember")->isEnabled());
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(d, "EditName"), QStringLiteral(" 球隊 ")));
            m_prompts.dialogHandlers.push_back([&](QDialog* picker) {
                EXPECT_EQ(picker->windowTitle(), QStringLiteral("選擇群組成員"));
                choose(picker, {QStringLiteral("陳美玲"), QStringLiteral("Alice"), QStringLiteral("同事")});
                EXPECT_EQ(captions(findControl<QTreeView>(picker, "ListViewMember")),
                          (QStringList{QStringLiteral("陳美玲"), QStringLiteral("Alice"), QStringLiteral("同事")}));
                ASSERT_TRUE(click(picker, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonSelectMember"));
            EXPECT_EQ(entryNames(d),
                      (QStringList{QStringLiteral("Alice"), QStringLiteral("同事"), QStringLiteral("陳美玲")}));
            EXPECT_EQ(count(d), QStringLiteral("3 個成員"));
            EXPECT_TRUE(findControl<QPushButton>(d, "ButtonRemoveMember")->isEnabled());
            ASSERT_TRUE(click(d, "ButtonOk"));
        });
        ASSERT_TRUE(click(&w, "SpeedButtonNew"));
        QMenu* popup = openPopup(w, "PopupMenuBtNew");
        ASSERT_TRUE(popup && popup->actions().contains(item(w, "PMItemBtNewGroup")));
        trigger(item(w, "PMItemBtNewGroup"));
        // The new group is selected in the tree and its entries are listed.
        EXPECT_EQ(nodes(w), (QStringList{QStringLiteral("同事"), QStringLiteral("家人"), QStringLiteral("朋友"),
                                         QStringLiteral("球隊")}));
        EXPECT_EQ(selectedNode(w), QStringLiteral("球隊"));
        EXPECT_EQ(captions(list(w)),
                  (QStringList{QStringLiteral("Alice"), QStringLiteral("同事"), QStringLiteral("陳美玲")}));
    });
    ASSERT_EQ(addressBook().GroupMap().count(id), 1u);
    EXPECT_EQ(getField(addressBook().GroupMap().at(id).name), big5(QStringLiteral("球隊")));
    const std::vector<int32_t> stored = groupSlots(id);
    EXPECT_EQ(std::vector<int32_t>(stored.begin(), stored.begin() + 4), (std::vector<int32_t>{101, -201, 103, 0}));
    expectFileIsBook();
}

TEST_F(GroupEditorTest, RemoveAndPropertiesWorkOnTheEntriesAndOnlyOkStoresTheGroup) {
    startWithBook();
    withBook([&](TFormAdrBk& w) {
        editGroup(w, QStringLiteral("同事"), [&](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral("同事 內容"));
            EXPECT_EQ(entryNames(d), (QStringList{QStringLiteral("王小明"), QStringLiteral("陳美玲")}));
            ASSERT_TRUE(clickEntry(d, QStringLiteral("王小明")));
            ASSERT_TRUE(click(d, "ButtonRemoveMember"));
            EXPECT_EQ(count(d), QStringLiteral("1 個成員"));
            // 內容 on an entry opens its editor; the rename is saved at once by that editor.
            ASSERT_TRUE(clickEntry(d, QStringLiteral("陳美玲")));
            m_prompts.dialogHandlers.push_back([&](QDialog* member) {
                ASSERT_TRUE(typeInto(findControl<QLineEdit>(member, "EditName"), QStringLiteral("陳小玲")));
                ASSERT_TRUE(click(member, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonContent"));
            EXPECT_EQ(entryNames(d), QStringList{QStringLiteral("陳小玲")});
            ASSERT_TRUE(click(d, "ButtonCancel"));
        });
    });
    EXPECT_EQ(groupSlots(-201)[0], 102) << "cancel keeps the group's entries";
    EXPECT_EQ(getField(addressBook().MemberMap().at(103).name), big5(QStringLiteral("陳小玲")));
    EXPECT_EQ(addressBook().MemberMap().count(102), 1u);
    expectFileIsBook();

    withBook([&](TFormAdrBk& w) {
        editGroup(w, QStringLiteral("同事"), [&](QDialog* d) {
            ASSERT_TRUE(clickEntry(d, QStringLiteral("王小明")));
            ASSERT_TRUE(clickEntry(d, QStringLiteral("陳小玲"), Qt::ControlModifier));
            ASSERT_TRUE(click(d, "ButtonRemoveMember"));
            EXPECT_FALSE(findControl<QPushButton>(d, "ButtonContent")->isEnabled());
            EXPECT_EQ(count(d), QStringLiteral("0 個成員"));
            ASSERT_TRUE(click(d, "ButtonOk"));
        });
        EXPECT_TRUE(captions(list(w)).isEmpty());
    });
    EXPECT_EQ(groupSlots(-201)[0], 0);
    EXPECT_EQ(groupSlots(-201)[1], 0);
    expectFileIsBook();
}

TEST_F(GroupEditorTest, AThousandEntriesAreSavedAndOneMoreIsRefused) {
    std::vector<int32_t> ids;
    for (int i = 0; i < kGroupSlots; ++i) {
        addressBook().putMember(member(5000 + i, "m" + QByteArray::number(1000 + i), "0911"));
        ids.push_back(5000 + i);
    }
    addGroup(-206, "大群組", ids);
    startWithBook();
    withBook([&](TFormAdrBk& w) {
        editGroup(w, QStringLiteral("大群組"), [&](QDialog* d) {
            EXPECT_EQ(count(d), QStringLiteral("1000 個成員"));
            m_prompts.dialogHandlers.push_back([&](QDialog* member) {
                ASSERT_TRUE(typeInto(findControl<QLineEdit>(member, "EditName"), QStringLiteral("m9999")));
                ASSERT_TRUE(typeInto(findControl<QLineEdit>(member, "EditMsisdn"), QStringLiteral("0922")));
                ASSERT_TRUE(click(member, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonEditNewMember"));
            EXPECT_EQ(count(d), QStringLiteral("1001 個成員"));
            EXPECT_EQ(entryNames(d).last(), QStringLiteral("m9999"));
            ASSERT_TRUE(click(d, "ButtonOk"));
            EXPECT_EQ(lastMessage(), QStringLiteral("本群組已超過最大成員數(1000)，請移除一些成員！"));
            EXPECT_TRUE(d->isVisible());
            // The picker never opens on fewer entries than the list holds: its 確定 would drop the last by name.
            m_prompts.dialogHandlers.push_back([&](QDialog* picker) { ASSERT_TRUE(click(picker, "ButtonOk")); });
            m_prompts.asked.clear();
            ASSERT_TRUE(click(d, "ButtonSelectMember"));
            EXPECT_EQ(count(d), QStringLiteral("1001 個成員"));
            EXPECT_EQ(m_prompts.messages(),
                      QStringList{QStringLiteral("本群組已超過最大成員數(1000)，請移除一些成員！")});
            m_prompts.dialogHandlers.clear();
            ASSERT_TRUE(clickEntry(d, QStringLiteral("m1000")));
            ASSERT_TRUE(click(d, "ButtonRemoveMember"));
            EXPECT_EQ(count(d), QStringLiteral("1000 個成員"));
            EXPECT_EQ(entryNames(d).first(), QStringLiteral("m1001"));
            ASSERT_TRUE(click(d, "ButtonOk"));
            EXPECT_FALSE(d->isVisible()) << lastMessage().toStdString();
        });
    });
    EXPECT_EQ(groupSlots(-206)[0], 5001);
    EXPECT_EQ(groupSlots(-206)[kGroupSlots - 1], int32_t(m_now)) << "m9999 comes last by name";
    expectFileIsBook();
}

// Another program changes the book while the group editor is open: the new contact's save reads the book
// anew under the editor, whose OK still stores the group it edits, the new contact in it, and nothing else.
TEST_F(GroupEditorTest, AnotherProgramsChangeUnderTheEditorKeepsTheEditedGroupWhole) {
    startWithBook();
    const int32_t added = int32_t(m_now);
    withBook([&](TFormAdrBk& w) {
        editGroup(w, QStringLiteral("同事"), [&](QDialog* d) {
            m_prompts.dialogHandlers.push_back([&](QDialog* editor) {
                AddressBook other;
                other.setFilePath(bookPath());
                ASSERT_TRUE(LoadAddressBook(other).ok);
                other.putMember(test::member(500, "Other", "0933000001"));
                other.eraseGroup(-203);
                ASSERT_TRUE(SaveAddressBook(other).ok);
                ASSERT_TRUE(typeInto(findControl<QLineEdit>(editor, "EditName"), QStringLiteral("Dan")));
                ASSERT_TRUE(typeInto(findControl<QLineEdit>(editor, "EditMsisdn"), QStringLiteral("0944000001")));
                ASSERT_TRUE(click(editor, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonEditNewMember"));
            EXPECT_EQ(count(d), QStringLiteral("3 個成員"));
            ASSERT_TRUE(click(d, "ButtonOk"));
        });
    });
    const std::vector<int32_t> all = groupSlots(-201);
    const std::set<int32_t> firstFour(all.begin(), all.begin() + 4);
    EXPECT_EQ(firstFour, (std::set<int32_t>{0, added, 102, 103}));
    EXPECT_EQ(getField(addressBook().GroupMap().at(-201).name), big5(QStringLiteral("同事")));
    EXPECT_EQ(groupSlots(-202)[0], 101) << "the other groups are as they were";
    EXPECT_EQ(addressBook().GroupMap().size(), 2u) << "the other program's deletion stands";
    EXPECT_EQ(addressBook().MemberMap().count(500), 1u);
    expectFileIsBook();
}

TEST_F(GroupEditorTest, AGroupThatCameToHoldThisOneMeanwhileIsLeftOut) {
    startWithBook();
    withBook([&](TFormAdrBk& w) {
        editGroup(w, QStringLiteral("家人"), [&](QDialog* d) {
            m_prompts.dialogHandlers.push_back([&](QDialog* picker) {
                choose(picker, {QStringLiteral("朋友")});
                ASSERT_TRUE(click(picker, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonSelectMember"));
            // 朋友 is opened from here and takes 家人, which does not hold 朋友 yet in the book.
            ASSERT_TRUE(clickEntry(d, QStringLiteral("朋友")));
            m_prompts.dialogHandlers.push_back([&](QDialog* inner) {
                m_prompts.dialogHandlers.push_back([&](QDialog* picker) {
                    choose(picker, {QStringLiteral("家人")});
                    ASSERT_TRUE(click(picker, "ButtonOk"));
                });
                ASSERT_TRUE(click(inner, "ButtonSelectMember"));
                ASSERT_TRUE(click(inner, "ButtonOk"));
            });
            ASSERT_TRUE(click(d, "ButtonContent"));
            ASSERT_TRUE(click(d, "ButtonOk"));
        });
    });
    EXPECT_EQ(lastMessage(), QStringLiteral("無法將群組'朋友'加到這個群組，\n原因是群組'朋友'已經包含這個群組"));
    EXPECT_EQ(groupSlots(-203)[0], 0) << "家人 would contain itself through 朋友";
    EXPECT_EQ(groupSlots(-202)[2], -203);
    expectFileIsBook();
}
