#include "support/BookWindowTest.h"

#include "core/exchange/ExchangeState.h"
#include "core/shared/FileLock.h"
#include "core/shared/SaveFile.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/TFormSendSMS.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListView>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <cstring>
#include <set>

using namespace norvi;
using namespace norvi::test;

namespace {

// A book with nested groups: 朋友 holds Alice and the group 同事; 同事 holds 王小明 and 陳美玲.
class AddressBookWindowTest : public BookWindowTest {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        addMember(101, "Alice", "0955123456;@0966123456;0977123456", "客戶");
        addMember(102, "王小明", "0912345678", "同事");
        addMember(103, "陳美玲", "+886912000999");
        addGroup(-201, "同事", {102, 103});
        addGroup(-202, "朋友", {101, -201});
        addGroup(-203, "家人");
    }
    // 刪除 on what is chosen in `w`: answered 否, it asks `question` and changes nothing; then 是 (through the tool
    // button, or the menu) removes exactly the entries `gone` from the book, and the file holds the book.
    void deleteChosen(TFormAdrBk& w, const char* question, const std::set<int32_t>& gone, bool byButton) {
        const QByteArray before = fileBytes();
        std::set<int32_t> kept = ids();
        trigger(item(w, "MItemFDelete"));
        EXPECT_EQ(lastMessage(), QString::fromUtf8(question));
        EXPECT_EQ(ids(), kept);
        EXPECT_EQ(fileBytes(), before);
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        if (byButton) {
            EXPECT_TRUE(click(&w, "SpeedButtonDelete"));
        } else {
            trigger(item(w, "MItemFDelete"));
        }
        for (const int32_t id : gone)
            kept.erase(id);
        EXPECT_EQ(ids(), kept);
        expectFileIsBook();
    }
    // Every id the book holds, members and groups.
    std::set<int32_t> ids() {
        std::set<int32_t> all;
        for (const auto& entry : addressBook().MemberMap())
            all.insert(entry.first);
        for (const auto& entry : addressBook().GroupMap())
            all.insert(entry.first);
        return all;
    }
    std::vector<int32_t> firstSlots(int32_t group, std::size_t n) {
        const std::vector<int32_t> held = groupSlots(group);
        return std::vector<int32_t>(held.begin(), held.begin() + std::ptrdiff_t(n));
    }
    // The tree's groups, the node selected, the list and the status line, as the user reads them.
    static QString shown(TFormAdrBk& w) {
        return QStringList{nodes(w).join(u' '), selectedNode(w), captions(list(w)).join(u' '), status(w)}.join(
            QStringLiteral(" | "));
    }

    void writeBook(int members, int announced) {
        QFile f(QDir(m_dir.path()).filePath(QStringLiteral("AddressBook.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const int32_t counts[2] = {announced, 0};
        f.write(reinterpret_cast<const char*>(counts), sizeof counts);
        for (int i = 0; i < members; ++i) {
            sMember m{};
            m.id = 100 + i;
            std::strcpy(m.name, "member");
            f.write(reinterpret_cast<const char*>(&m), sizeof m);
        }
    }

    // Starts the windows with the book above and runs `body` in the address book window.
    void inBook(const std::function<void(TFormAdrBk&)>& body) {
        startWithBook();
        withBook(body);
    }
};

} // namespace

// Creating the windows loads the book: a whole one silently, a cut one as far as its records are complete,
// with a word to the user.
TEST_F(AddressBookWindowTest, CreatingTheWindowLoadsTheBookAndSaysOnlyWhenItIsDamaged) {
    for (const int announced : {2, 5}) {
        SCOPED_TRACE(announced);
        m_windows.reset();
        m_prompts.asked.clear();
        addressBook().clear();
        writeBook(2, announced);
        startWindows(false);
        EXPECT_EQ(addressBook().MemberMap().size(), 2u);
        EXPECT_EQ(m_prompts.messages().size(), announced == 2 ? 0 : 1);
        EXPECT_EQ(m_prompts.messages().value(0).contains(QStringLiteral("通訊錄檔案已損壞")), announced != 2);
    }
}

TEST_F(AddressBookWindowTest, OpensOnTheWholeBookWithAFlatSortedTreeOfGroups) {
    inBook([&](TFormAdrBk& w) {
        EXPECT_EQ(w.windowTitle(), QStringLiteral("通訊錄"));
        EXPECT_EQ(tree(w)->topLevelItem(0)->text(0), QStringLiteral("我的連絡人"));
        EXPECT_EQ(nodes(w), (QStringList{QStringLiteral("同事"), QStringLiteral("家人"),
                                         QStringLiteral("朋友")})); // 同事 is a child of the root too
        EXPECT_EQ(selectedNode(w), QStringLiteral("我的連絡人"));
        // Byte order of the names: ASCII first, then Big5.
        EXPECT_EQ(captions(list(w)),
                  (QStringList{QStringLiteral("Alice"), QStringLiteral("王小明"), QStringLiteral("同事"),
                               QStringLiteral("朋友"), QStringLiteral("家人"), QStringLiteral("陳美玲")}));
        EXPECT_EQ(captions(list(w), 1)[0],
                  QStringLiteral("0955123456;@0966123456;0977123456")); // the stored text as is
        EXPECT_EQ(captions(list(w), 2)[0], QStringLiteral("客戶"));
        EXPECT_EQ(headers(list(w)),
                  (QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("說明")}));
        EXPECT_EQ(status(w), QStringLiteral("6 個項目"));
        EXPECT_EQ(w.focusWidget(), tree(w));
    });
}

TEST_F(AddressBookWindowTest, AGroupNodeShowsItsEntriesAndTheSameNodeTwiceFillsOnce) {
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("朋友")));
        EXPECT_EQ(captions(list(w)), (QStringList{QStringLiteral("Alice"), QStringLiteral("同事")}));
        EXPECT_EQ(status(w), QStringLiteral("2 個項目"));
        EXPECT_EQ(w.listedMemberIds(), (std::vector<int32_t>{101}));
        ASSERT_TRUE(clickHeader(list(w), 0)); // 名稱 descending
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("Alice")}));
        ASSERT_TRUE(clickNode(w, QStringLiteral("朋友")));
        EXPECT_EQ(captions(list(w)), (QStringList{QStringLiteral("同事"), QStringLiteral("Alice")}))
            << "the list was filled again";
        EXPECT_EQ(SelectedRows(list(w)), QList<int>{1});
        ASSERT_TRUE(clickNode(w, QStringLiteral("家人")));
        EXPECT_TRUE(captions(list(w)).isEmpty());
        EXPECT_EQ(status(w), QStringLiteral("0 個項目"));
        ASSERT_TRUE(clickNode(w, QStringLiteral("同事")));
        EXPECT_EQ(headers(list(w))[0], QStringLiteral("名稱")) << "a new node resets the sort";
        EXPECT_EQ(captions(list(w)), (QStringList{QStringLiteral("王小明"), QStringLiteral("陳美玲")}));
    });
}

TEST_F(AddressBookWindowTest, ColumnClicksAndSortItemsOrderTheListAndMarkTheCaption) {
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickHeader(list(w), 1));
        EXPECT_EQ(headers(list(w)),
                  (QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話 ↑"), QStringLiteral("說明")}));
        // Groups (empty number cells) first, then "+" before digits.
        EXPECT_EQ(captions(list(w)),
                  (QStringList{QStringLiteral("同事"), QStringLiteral("朋友"), QStringLiteral("家人"),
                               QStringLiteral("陳美玲"), QStringLiteral("王小明"), QStringLiteral("Alice")}));
        EXPECT_TRUE(item(w, "MItemVSortMsisdn")->isChecked());
        EXPECT_TRUE(item(w, "MItemVSortAsc")->isChecked());
        ASSERT_TRUE(clickHeader(list(w), 1));
        EXPECT_EQ(headers(list(w))[1], QStringLiteral("行動電話 ↓"));
        EXPECT_EQ(captions(list(w)).first(), QStringLiteral("Alice"));
        EXPECT_TRUE(item(w, "MItemVSortDesc")->isChecked());

        trigger(item(w, "MItemVSortDesc")); // already so: nothing changes
        EXPECT_EQ(headers(list(w))[1], QStringLiteral("行動電話 ↓"));
        trigger(item(w, "MItemVSortAsc"));
        EXPECT_EQ(headers(list(w))[1], QStringLiteral("行動電話 ↑"));
        trigger(item(w, "MItemVSortDescscript")); // another column starts ascending
        EXPECT_EQ(headers(list(w)),
                  (QStringList{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("說明 ↑")}));
        EXPECT_EQ(captions(list(w), 2).last(), QStringLiteral("客戶"));
        trigger(item(w, "MItemVSortDescscript")); // the same column again reverses
        EXPECT_EQ(headers(list(w))[2], QStringLiteral("說明 ↓"));
        EXPECT_TRUE(item(w, "MItemVSortDescscript")->isChecked());
    });
}

TEST_F(AddressBookWindowTest, CommandsFollowTheContextAndTheSelection) {
    addressBook().eraseAllGroups();
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("我的連絡人")));
        EXPECT_FALSE(item(w, "MItemFContent")->isEnabled());
        EXPECT_FALSE(item(w, "MItemFDelete")->isEnabled()) << "no group to remove";
        addressBook().putGroup(group(-9));
        trigger(item(w, "MItemRefresh"));
        ASSERT_TRUE(clickNode(w, QStringLiteral("我的連絡人")));
        EXPECT_TRUE(item(w, "MItemFDelete")->isEnabled());
        EXPECT_TRUE(findControl<QToolButton>(&w, "SpeedButtonDelete")->isEnabled());
        EXPECT_FALSE(findControl<QToolButton>(&w, "SpeedButtonContent")->isEnabled());

        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("Alice")}));
        EXPECT_EQ(w.focusWidget(), list(w));
        for (const char* name : {"MItemFContent", "MItemFDelete", "MItemASend", "PMItemLvContent", "PMItemBtSend"})
            EXPECT_TRUE(item(w, name)->isEnabled()) << name;
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("Alice"), QStringLiteral("王小明")}));
        EXPECT_FALSE(item(w, "MItemFContent")->isEnabled());
        EXPECT_TRUE(item(w, "MItemFDelete")->isEnabled());
        EXPECT_TRUE(findControl<QToolButton>(&w, "SpeedButtonAction")->isEnabled());
        ASSERT_TRUE(clickRow(list(w), 99)); // below the rows: nothing selected
        for (const char* name : {"MItemFContent", "MItemFDelete", "MItemASend"})
            EXPECT_FALSE(item(w, name)->isEnabled()) << name;
        EXPECT_FALSE(findControl<QToolButton>(&w, "SpeedButtonAction")->isEnabled());

        // The pop-ups open where the user clicks.
        const QRect first = list(w)->visualRect(rows(w)->index(0, 0));
        ASSERT_TRUE(clickAt(list(w)->viewport(), first.center(), Qt::NoModifier, Qt::RightButton));
        QMenu* popup = openPopup(w, "PopupMenuListView");
        ASSERT_TRUE(popup);
        popup->close();
        ASSERT_TRUE(clickNode(w, QStringLiteral("我的連絡人"), Qt::RightButton));
        popup = openPopup(w, "PopupMenuTreeView");
        ASSERT_TRUE(popup);
        popup->close();
        // Back in the tree, 內容 and 刪除 act on the root again.
        EXPECT_FALSE(item(w, "MItemFContent")->isEnabled());
        EXPECT_TRUE(item(w, "MItemFDelete")->isEnabled());
    });
}

TEST_F(AddressBookWindowTest, DeletingTheRootRemovesEveryGroupButNoMember) {
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("我的連絡人")));
        deleteChosen(w, "您確定要移除所有的群組？\n(不會從通訊錄刪除群組成員)", {-201, -202, -203}, true);
        EXPECT_EQ(shown(w), QStringLiteral(" | 我的連絡人 | Alice 王小明 陳美玲 | 3 個項目"));
        EXPECT_FALSE(item(w, "MItemFDelete")->isEnabled()) << "no group left to remove";
    });
}

TEST_F(AddressBookWindowTest, DeletingASubGroupClearsItFromEveryGroupThatHoldsIt) {
    addGroup(-204, "球隊", {103, -201, 101});
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("同事")));
        deleteChosen(w, "您確定要移除所選擇的群組？\n(不會從通訊錄刪除群組成員)", {-201}, false);
        EXPECT_EQ(firstSlots(-202, 2), (std::vector<int32_t>{101, 0}));
        EXPECT_EQ(firstSlots(-204, 3), (std::vector<int32_t>{103, 0, 101})) << "the other entries keep their slots";
        // The next node is selected and the list shows it.
        EXPECT_EQ(shown(w), QStringLiteral("家人 朋友 球隊 | 家人 |  | 0 個項目"));
    });
}

TEST_F(AddressBookWindowTest, DeletingFromTheWholeBookErasesRecordsEverywhere) {
    addGroup(-204, "球隊", {103, 102});
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("王小明"), QStringLiteral("家人")}));
        deleteChosen(w, "要永遠刪除所選的項目？", {102, -203}, true);
        EXPECT_EQ(firstSlots(-201, 2), (std::vector<int32_t>{0, 103}));
        EXPECT_EQ(firstSlots(-204, 2), (std::vector<int32_t>{103, 0}));
        EXPECT_EQ(shown(w), QStringLiteral("同事 朋友 球隊 | 我的連絡人 | Alice 同事 朋友 球隊 陳美玲 | 5 個項目"));
    });
}

TEST_F(AddressBookWindowTest, RemovingFromAGroupKeepsTheRecordInTheBookAndOtherGroups) {
    addGroup(-204, "球隊", {102});
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("同事")));
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("王小明")}));
        deleteChosen(w, "您確定只要從這個群組移除所選擇的項目？\n(不會從通訊錄刪除選擇的項目)", {}, false);
        EXPECT_EQ(firstSlots(-201, 2), (std::vector<int32_t>{0, 103}))
            << "a hole is left; the next entry keeps its slot";
        EXPECT_EQ(firstSlots(-204, 1), std::vector<int32_t>{102});
        EXPECT_EQ(shown(w), QStringLiteral("同事 家人 朋友 球隊 | 同事 | 陳美玲 | 1 個項目"));
    });
}

TEST_F(AddressBookWindowTest, AFailedSaveIsReportedAndTheFileKeepsWhatItHeld) {
    startWithBook();
    const QByteArray before = fileBytes();
    withBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("Alice")}));
        SaveFile::failAtForTest(SaveFile::Step::Rename, 1);
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        trigger(item(w, "MItemFDelete"));
        SaveFile::clearFaultForTest();
        EXPECT_EQ(lastMessage(),
                  QStringLiteral("寫入通訊錄檔案失敗！\n無法以暫存檔取代 %1：磁碟讀寫錯誤").arg(bookPath()));
        EXPECT_EQ(m_prompts.asked.last().icon, Prompts::Icon::Error);
        EXPECT_EQ(fileBytes(), before);
        EXPECT_EQ(addressBook().MemberMap().count(101), 0u) << "the change stays in memory for the next save";
        // The next change writes both.
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("王小明")}));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        trigger(item(w, "MItemFDelete"));
    });
    expectFileIsBook();
    EXPECT_EQ(addressBook().MemberMap().size(), 1u);
}

// A change the file could not take while another program held it is written when the window closes; one
// that still cannot be written is not lost without a word when the program ends: 結束 asks, 否 preselected.
TEST_F(AddressBookWindowTest, AChangeTheFileCouldNotTakeIsWrittenAtCloseOrAskedAboutAtExit) {
    startWithBook();
    FileLock other(bookPath());
    ASSERT_TRUE(other.tryLock());
    withBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("Alice")}));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        trigger(item(w, "MItemFDelete"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("這次的變更尚未寫入檔案"))) << lastMessage().toStdString();
        other.unlock();
    });
    expectFileIsBook();
    EXPECT_EQ(fileBytes().size(), 8 + 2 * 424 + 3 * 4104) << "Alice's deletion reached the file";

    ASSERT_TRUE(other.tryLock());
    const QByteArray before = fileBytes();
    withBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("王小明")}));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        trigger(item(w, "MItemFDelete"));
    });
    m_prompts.asked.clear();
    trigger(menuItem("MItemFExit"));
    EXPECT_EQ(m_prompts.messages(),
              QStringList{QStringLiteral("通訊錄的變更尚未寫入檔案，結束程式後這些變更會遺失。\n仍要結束？")})
        << "one question, no box promising a next change";
    EXPECT_EQ(m_prompts.asked.last().preselected, Prompts::Answer::No);
    EXPECT_TRUE(mainWindow().isVisible()) << "否 keeps the program and its change";
    EXPECT_EQ(fileBytes(), before);
    other.unlock();
    m_prompts.asked.clear();
    trigger(menuItem("MItemFExit"));
    EXPECT_TRUE(m_prompts.asked.isEmpty()) << "the change is written on the way out, nothing to ask";
    EXPECT_FALSE(mainWindow().isVisible());
    expectFileIsBook();
    EXPECT_EQ(fileBytes().size(), 8 + 424 + 3 * 4104);
}

TEST_F(AddressBookWindowTest, SendHandsTheSelectedEntriesToTheSendDialogInListOrder) {
    startWithBook();
    TFormSendSMS* send = &m_windows->sendSMS();
    RecipientsBox* recipients = send->findChild<RecipientsBox*>(QStringLiteral("RecipientsBox"));
    ASSERT_NE(recipients, nullptr);
    std::vector<std::pair<int32_t, QByteArray>> handed;
    withBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickRows(list(w), {QStringLiteral("陳美玲"), QStringLiteral("Alice"), QStringLiteral("同事")}));
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            EXPECT_EQ(d, send);
            // The entries are in the dialog: still in RecipientList, or already in its recipient field.
            if (recipients->recipients().RecipientList.empty())
                recipients->ParseRecipientField(true);
            for (const sMtData& e : recipients->recipients().RecipientList)
                handed.emplace_back(e.id, getField(e.label));
            d->reject();
        });
        trigger(item(w, "MItemASend"));
    });
    const std::vector<std::pair<int32_t, QByteArray>> expected = {
        {101, "Alice"}, {-201, big5(QStringLiteral("同事"))}, {103, big5(QStringLiteral("陳美玲"))}};
    EXPECT_EQ(handed, expected);
}

TEST_F(AddressBookWindowTest, ImportAndExportOpenTheFileTypeChooserInTheirModeAndImportRefreshes) {
    inBook([&](TFormAdrBk& w) {
        std::vector<ExchangeDirection> modes;
        const auto chooser = [&](QDialog* d) {
            EXPECT_EQ(d, &m_windows->fileType());
            modes.push_back(d->windowTitle() == QStringLiteral("通訊錄匯入工具") ? ExchangeDirection::Import
                                                                                 : ExchangeDirection::Export);
            d->reject();
        };
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            addMember(104, "匯入者", "0900111222"); // what an import adds
            chooser(d);
        });
        trigger(item(w, "MItemFImport"));
        EXPECT_EQ(captions(list(w)).first(), QStringLiteral("Alice"));
        EXPECT_TRUE(captions(list(w)).contains(QStringLiteral("匯入者")));
        EXPECT_EQ(status(w), QStringLiteral("7 個項目"));
        ASSERT_TRUE(clickNode(w, QStringLiteral("朋友")));
        EXPECT_EQ(w.listedMemberIds(), (std::vector<int32_t>{101})) << "the export writes the listed members";
        m_prompts.dialogHandlers.push_back(chooser);
        trigger(item(w, "MItemFExport"));
        EXPECT_EQ(modes, (std::vector<ExchangeDirection>{ExchangeDirection::Import, ExchangeDirection::Export}));
    });
}

TEST_F(AddressBookWindowTest, RefreshRebuildsTheTreeAndShowsTheWholeBook) {
    inBook([&](TFormAdrBk& w) {
        ASSERT_TRUE(clickNode(w, QStringLiteral("朋友")));
        addGroup(-205, "新的");
        ASSERT_TRUE(keyClick(tree(w), Qt::Key_F5));
        EXPECT_EQ(nodes(w), (QStringList{QStringLiteral("同事"), QStringLiteral("家人"), QStringLiteral("新的"),
                                         QStringLiteral("朋友")}));
        EXPECT_EQ(selectedNode(w), QStringLiteral("我的連絡人"));
        EXPECT_EQ(captions(list(w)).size(), 7);
    });
}

TEST_F(AddressBookWindowTest, ViewItemsShowAndHideThePartsAndSwitchTheListStyle) {
    inBook([&](TFormAdrBk& w) {
        auto* stack = findControl<QStackedWidget>(&w, "ListViewAllPane");
        trigger(item(w, "MItemVTool"));
        EXPECT_FALSE(findControl<QToolBar>(&w, "ToolBar1")->isVisible());
        trigger(item(w, "MItemVStatus"));
        EXPECT_FALSE(findControl<QStatusBar>(&w, "StatusBar1")->isVisible());
        trigger(item(w, "MItemVGroup"));
        EXPECT_FALSE(tree(w)->isVisible());
        EXPECT_FALSE(item(w, "MItemVGroup")->isChecked());
        QCoreApplication::processEvents();
        EXPECT_EQ(stack->geometry().left(), 0) << "without the tree the list starts at the left edge";
        trigger(item(w, "MItemVGroup"));
        EXPECT_TRUE(tree(w)->isVisible());

        trigger(item(w, "MItemVBIcon"));
        EXPECT_EQ(stack->currentWidget()->objectName(), QStringLiteral("ListViewAllIcons"));
        EXPECT_FALSE(item(w, "MItemVDetail")->isChecked());
        trigger(item(w, "MItemVDetail"));
        EXPECT_EQ(stack->currentWidget(), list(w));
    });
}

// The detail list's columns show a whole name and number at the first size and after a resize, and the
// description takes the rest: nothing scrolls sideways.
TEST_F(AddressBookWindowTest, DetailColumnsFitTheListAtAnySize) {
    inBook([&](TFormAdrBk& w) {
        QTreeView* view = list(w);
        const QFontMetrics fm(view->font());
        for (const int width : {0, 1200}) {
            SCOPED_TRACE(width);
            if (width)
                w.resize(width, w.height());
            QCoreApplication::processEvents();
            QHeaderView* header = view->header();
            EXPECT_GT(header->sectionSize(0), fm.horizontalAdvance(QStringLiteral("王小明")) + 16);
            EXPECT_GT(header->sectionSize(1), fm.horizontalAdvance(QStringLiteral("0912345678")));
            EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2),
                      view->viewport()->width());
            EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
        }
    });
}

// A long name in the icon and list styles stays inside its own cell: no item overlaps the next, and
// every cell is as high as the font needs.
TEST_F(AddressBookWindowTest, IconStylesKeepLongNamesInsideTheirCells) {
    addressBook().putMember(test::member(901, big5("一個名字非常非常長的聯絡人用來測試"), "0911"));
    addressBook().putMember(test::member(902, "Alexander Maximilian Longname", "0922"));
    inBook([&](TFormAdrBk& w) {
        auto* icons = findControl<QListView>(&w, "ListViewAllIcons");
        for (const char* style : {"MItemVSIcon", "MItemVBIcon", "MItemVList"}) {
            SCOPED_TRACE(style);
            trigger(item(w, style));
            QCoreApplication::processEvents();
            const int rows = icons->model()->rowCount();
            ASSERT_GE(rows, 2);
            QVector<QRect> cells;
            for (int r = 0; r < rows; ++r) {
                cells.append(icons->visualRect(icons->model()->index(r, 0)));
                EXPECT_GE(cells.last().height(), QFontMetrics(icons->font()).height()) << r;
                EXPECT_LE(cells.last().width(), icons->gridSize().width()) << r;
                for (int k = 0; k < r; ++k)
                    EXPECT_FALSE(cells[k].intersects(cells[r])) << k << " and " << r;
            }
        }
    });
}

TEST_F(AddressBookWindowTest, TheTreeTakesThreeTenthsOfTheWidthAfterAResize) {
    inBook([&](TFormAdrBk& w) {
        w.resize(700, 400);
        QCoreApplication::processEvents();
        auto* splitter = findControl<QSplitter>(&w, "SplitterAdrBk");
        EXPECT_FALSE(splitter->accessibleName().isEmpty());
        EXPECT_EQ(splitter->handle(1)->accessibleName(), QStringLiteral("群組與連絡人分隔線"));
        EXPECT_EQ(splitter->sizes().first(), splitter->width() * 3 / 10);
        EXPECT_EQ(w.minimumSize(), QSize(300, 200));
        w.resize(300, 200);
        QCoreApplication::processEvents();
        EXPECT_GE(tree(w)->width(), 100);
        EXPECT_GE(splitter->widget(1)->width(), 100);
    });
}
