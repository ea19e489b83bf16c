// 拒收名單: the stop list's window from 工具 → 拒收名單..., and the address book's 加入拒收名單.

#include "support/BookWindowTest.h"

#include "core/compose/OptOutList.h"
#include "core/shared/FileLock.h"
#include "gui/compose/TFormOptOut.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace norvi;
using namespace norvi::test;

namespace {

class OptOutWindowTest : public BookWindowTest {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        Clock::setFixed(QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
        writeConfig(m_dir.path());
    }
    QString listPath() const { return OptOutPath(m_dir.path()); }
    QByteArray listFile() const { return readAll(listPath()); }
    // Opens the window from the main window's menu and runs `body` in it; it is closed with 關閉 afterwards.
    void withWindow(const std::function<void(TFormOptOut&)>& body) {
        inModal<TFormOptOut>([this] { trigger(menuItem("MItemTOptOut")); }, body,
                             [](TFormOptOut& w) { click(&w, "ButtonClose"); });
    }
    static QTreeWidget* rows(TFormOptOut& w) { return findControl<QTreeWidget>(&w, "ListViewOptOut"); }
    static QStringList shown(TFormOptOut& w, int column = 0) {
        QStringList out;
        for (int i = 0; i < rows(w)->topLevelItemCount(); ++i)
            if (!rows(w)->topLevelItem(i)->isHidden())
                out << rows(w)->topLevelItem(i)->text(column);
        return out;
    }
    static QString count(TFormOptOut& w) { return findControl<QLabel>(&w, "LabelCount")->text(); }
};

} // namespace

// 新增 with Return in the note, a number already there or no number at all refused by name, the filter and
// a column's sort, and 刪除 with the Delete key after its question.
TEST_F(OptOutWindowTest, NumbersAreAddedFilteredSortedAndDeletedFromTheKeyboard) {
    startWindows();
    writeAll(listPath(), "0933000222,2024/04/30,cli\r\n");
    withWindow([&](TFormOptOut& w) {
        EXPECT_EQ(w.windowTitle(), QStringLiteral("拒收名單"));
        EXPECT_EQ(shown(w), QStringList{QStringLiteral("0933000222")});
        EXPECT_EQ(w.focusWidget(), findControl<QLineEdit>(&w, "EditNumber"));
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNumber"), QStringLiteral("0912-345-678")));
        ASSERT_TRUE(keyClick(findControl<QLineEdit>(&w, "EditNumber"), Qt::Key_Tab));
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNote"), QStringLiteral("家長來電")));
        ASSERT_TRUE(keyClick(findControl<QLineEdit>(&w, "EditNote"), Qt::Key_Return));
        EXPECT_EQ(shown(w), (QStringList{QStringLiteral("0912345678"), QStringLiteral("0933000222")}));
        EXPECT_EQ(count(w), QStringLiteral("共 2 筆"));
        EXPECT_TRUE(findControl<QLineEdit>(&w, "EditNumber")->text().isEmpty());

        for (const char* refused : {"+886912345678", "hello"}) {
            ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNumber"), QString::fromUtf8(refused)));
            ASSERT_TRUE(click(&w, "ButtonAdd"));
        }
        EXPECT_EQ(m_prompts.messages(), (QStringList{QStringLiteral("+886912345678 已在拒收名單中。"),
                                                     QStringLiteral("「hello」不是手機門號，沒有加入拒收名單。")}));
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNumber"), QString()));

        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditFilter"), QStringLiteral("家長")));
        EXPECT_EQ(shown(w), QStringList{QStringLiteral("0912345678")});
        EXPECT_EQ(count(w), QStringLiteral("共 2 筆，顯示 1 筆"));
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditFilter"), QString()));
        ASSERT_TRUE(
            clickAt(rows(w)->header()->viewport(), QPoint(rows(w)->header()->sectionViewportPosition(1) + 5, 5)));
        EXPECT_EQ(shown(w), (QStringList{QStringLiteral("0933000222"), QStringLiteral("0912345678")}))
            << "by the day added";

        ASSERT_TRUE(clickAt(rows(w)->viewport(), rows(w)->visualItemRect(rows(w)->topLevelItem(1)).center()));
        m_prompts.answers.push_back(Prompts::Answer::No);
        ASSERT_TRUE(keyClick(rows(w), Qt::Key_Delete));
        EXPECT_EQ(count(w), QStringLiteral("共 2 筆"));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        ASSERT_TRUE(keyClick(rows(w), Qt::Key_Delete));
        EXPECT_EQ(shown(w), QStringList{QStringLiteral("0933000222")});
        EXPECT_EQ(m_prompts.asked.last().preselected, Prompts::Answer::No) << "Return keeps the number";
    });
    EXPECT_EQ(listFile(), "0933000222,2024/04/30,cli\r\n");
}

// The window changes the file as it stands: a line another program added meanwhile stays, and a lock
// another program holds refuses the change by name.
TEST_F(OptOutWindowTest, ChangesKeepWhatAnotherProgramWroteAndWaitForNobodysLock) {
    startWindows();
    withWindow([&](TFormOptOut& w) {
        writeAll(listPath(), "0955000333,2024/04/30\r\nbroken line\r\n");
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNumber"), QStringLiteral("0912345678")));
        ASSERT_TRUE(click(&w, "ButtonAdd"));
        EXPECT_EQ(shown(w), (QStringList{QStringLiteral("0912345678"), QStringLiteral("0955000333")}));
        EXPECT_TRUE(findControl<QLabel>(&w, "LabelDamaged")->isVisible());

        FileLock other(listPath());
        ASSERT_TRUE(other.tryLock());
        ASSERT_TRUE(typeInto(findControl<QLineEdit>(&w, "EditNumber"), QStringLiteral("0966000444")));
        ASSERT_TRUE(click(&w, "ButtonAdd"));
        EXPECT_TRUE(m_prompts.messages().last().contains(QStringLiteral("變更中")))
            << m_prompts.messages().last().toStdString();
    });
    EXPECT_EQ(listFile(), "0955000333,2024/04/30\r\nbroken line\r\n0912345678,2024/05/01\r\n");
}

TEST_F(OptOutWindowTest, ImportAndExportGoThroughTheFileDialogs) {
    startWindows();
    writeAll(path("numbers.csv"), "0912345678,a\n0922000111\nnot a number\n");
    withWindow([&](TFormOptOut& w) {
        m_prompts.fileNames.push_back(path("numbers.csv"));
        ASSERT_TRUE(click(&w, "ButtonImport"));
        EXPECT_EQ(m_prompts.messages().last(),
                  QStringLiteral("匯入 2 筆，已在名單中 0 筆，略過 1 行（不是手機門號）：第 3 行 not a number。"));
        EXPECT_EQ(shown(w).size(), 2);
        m_prompts.fileNames.push_back(path("out.txt"));
        ASSERT_TRUE(click(&w, "ButtonExport"));
        m_prompts.fileNames.push_back(listPath());
        ASSERT_TRUE(click(&w, "ButtonExport"));
        EXPECT_TRUE(m_prompts.messages().last().contains(QStringLiteral("程式自己的檔案")));
    });
    EXPECT_EQ(readAll(path("out.txt")), "0912345678,2024/05/01,a\r\n0922000111,2024/05/01\r\n");
}

// The address book's pop-up menu adds every number of the chosen members, noted with their names, after a
// question; a group row offers nothing.
TEST_F(OptOutWindowTest, TheAddressBookAddsItsMembersNumbers) {
    addMember(101, "Alice", "0955123456;@0966123456");
    addMember(102, "王小明", "0912-345-678");
    addGroup(-201, "同事", {102});
    startWithBook();
    withBook([&](TFormAdrBk& book) {
        ASSERT_TRUE(clickRows(list(book), {QStringLiteral("同事")}));
        EXPECT_FALSE(item(book, "PMItemLvOptOut")->isEnabled());
        ASSERT_TRUE(clickRows(list(book), {QStringLiteral("Alice"), QStringLiteral("王小明")}));
        EXPECT_TRUE(item(book, "PMItemLvOptOut")->isEnabled());
        m_prompts.answers.push_back(Prompts::Answer::No);
        ASSERT_TRUE(trigger(item(book, "PMItemLvOptOut")));
        EXPECT_FALSE(QFile::exists(listPath()));
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        ASSERT_TRUE(trigger(item(book, "MItemAOptOut")));
        EXPECT_EQ(m_prompts.messages().last(), QStringLiteral("已加入拒收名單 3 個門號，已在名單中 0 個。"));
    });
    EXPECT_EQ(listFile(), big5("0955123456,2024/05/01,Alice\r\n0966123456,2024/05/01,Alice\r\n"
                               "0912345678,2024/05/01,王小明\r\n"));
}
