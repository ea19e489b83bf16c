#include "support/WindowTest.h"

#include "gui/shared/TFormSelectDir.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

using namespace norvi;
using namespace norvi::test;

namespace {

// The folder chooser as the user meets it: 設定(&O)... in the main window, the 目錄設定 page, the "..."
// button beside the log folder.
class SelectDir : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(m_folders.isValid());
        ASSERT_TRUE(QDir(m_folders.path()).mkpath(QStringLiteral("a/b")));
        ASSERT_TRUE(QDir(m_folders.path()).mkpath(QStringLiteral("c")));
        m_root = QDir(m_folders.path()).canonicalPath();
        startWindows();
        QCoreApplication::processEvents(); // the settings window a start without settings opens is left
        m_prompts.realFolderChooser = true;
    }

    // Opens the chooser from the settings dialog with the log folder field holding `start`, runs `act` in
    // it (which must close it) and returns what the log folder field holds afterwards.
    QString choose(const QString& start, std::function<void(TFormSelectDir*)> act) {
        editConfig([&start](sConfig& c) { putField(c.logFiles, QFile::encodeName(start)); });
        QString field;
        m_prompts.dialogHandlers.push_back([&field](QDialog* settings) {
            clickTab(settings->findChild<QTabBar*>(), 0);
            click(settings, "ButtonLogFiles");
            field = findControl<QLineEdit>(settings, "EditLogFiles")->text();
            click(settings, "ButtonCancel");
        });
        m_prompts.dialogHandlers.push_back([act](QDialog* chooser) {
            auto* form = qobject_cast<TFormSelectDir*>(chooser);
            EXPECT_NE(form, nullptr);
            if (form)
                act(form);
        });
        trigger(menuItem("MItemTSettings"));
        EXPECT_TRUE(m_prompts.dialogHandlers.empty()) << "the chooser was not opened";
        return field;
    }

    static QTreeView* tree(QWidget* form) { return findControl<QTreeView>(form, "DirectoryListBox1"); }
    static QFileSystemModel* files(QTreeView* view) {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
        return proxy ? qobject_cast<QFileSystemModel*>(proxy->sourceModel()) : nullptr;
    }
    static QModelIndex shownIndex(QTreeView* view, const QString& path) {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
        return proxy->mapFromSource(files(view)->index(path));
    }
    static bool inView(QTreeView* view, const QModelIndex& index) {
        const QRect item = view->visualRect(index);
        return item.isValid() && view->viewport()->rect().contains(item);
    }

    QTemporaryDir m_folders;
    QString m_root;
};

} // namespace

// The tree is named for screen readers by the prompt above it.
TEST_F(SelectDir, StartsAtTheGivenFolderUnderTheRootsOnOffer) {
    choose(m_root + QStringLiteral("/a/b"), [this](TFormSelectDir* form) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("目錄選擇"));
        EXPECT_EQ(findControl<QLabel>(form, "LabelPrompt")->text(), QStringLiteral("請選擇運作記錄檔目錄："));
        QAccessibleInterface* named = QAccessible::queryAccessibleInterface(tree(form));
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(named->text(QAccessible::Name), QStringLiteral("請選擇運作記錄檔目錄："));
        auto* drives = findControl<QComboBox>(form, "DriveComboBox1");
        ASSERT_NE(drives, nullptr);
        EXPECT_EQ(drives->itemText(0), QStringLiteral("/"));
        EXPECT_GE(drives->findText(QDir::cleanPath(QDir::homePath())), 0);
        EXPECT_EQ(form->currentFolder(), m_root + QStringLiteral("/a/b"));
        EXPECT_TRUE(m_root.startsWith(drives->currentText()));
        click(form, "ButtonCancel");
    });

    // A folder typed but not made yet opens the tree at the nearest folder above it that is there.
    ASSERT_TRUE(QDir::setCurrent(m_root + QStringLiteral("/c")));
    choose(m_root + QStringLiteral("/a/new/deeper"), [this](TFormSelectDir* form) {
        EXPECT_EQ(form->currentFolder(), m_root + QStringLiteral("/a"));
        click(form, "ButtonCancel");
    });
}

TEST_F(SelectDir, StartFolderIsBroughtIntoViewOnceTheFoldersAboveItAreRead) {
    choose(m_root + QStringLiteral("/a/b"), [this](TFormSelectDir* form) {
        QTreeView* view = tree(form);
        QFileSystemModel* model = files(view);
        // Reading and sorting the folders above the start folder puts rows above it and pushes it out of view.
        const QString topFolder = QLatin1Char('/') + m_root.section(QLatin1Char('/'), 1, 1);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return model->index(topFolder).row() > 0 && model->rowCount(model->index(m_root)) == 2 &&
                       model->rowCount(model->index(m_root + QStringLiteral("/a"))) == 1;
            },
            20000));
        // The view lays the new rows out later; only then is the position of the start folder real.
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->verticalScrollBar()->maximum() > 0; }, 20000));
        EXPECT_TRUE(QTest::qWaitFor([view] { return inView(view, view->currentIndex()); }, 20000));
        EXPECT_EQ(form->currentFolder(), m_root + QStringLiteral("/a/b"));
        click(form, "ButtonCancel");
    });
}

TEST_F(SelectDir, FolderClickedInTheTreeBecomesTheLogFolder) {
    // Opened at c, the folders beside it show: the user picks a.
    const QString field = choose(m_root + QStringLiteral("/c"), [this](TFormSelectDir* form) {
        QTreeView* view = tree(form);
        ASSERT_NE(view, nullptr);
        const QString target = m_root + QStringLiteral("/a");
        ASSERT_TRUE(QTest::qWaitFor([&] { return inView(view, shownIndex(view, target)); }, 20000));
        clickAt(view->viewport(), view->visualRect(shownIndex(view, target)).center());
        EXPECT_EQ(form->currentFolder(), target);
        click(form, "ButtonOk");
        EXPECT_EQ(form->result(), int(QDialog::Accepted));
    });
    EXPECT_EQ(field, m_root + QStringLiteral("/a"));
}

// "my_log_files" must not read "my log files": rows leave room below the text; and a folder without
// subfolders offers nothing to expand.
TEST_F(SelectDir, RowsFitTheFontAndOnlyFoldersWithSubfoldersExpand) {
    choose(m_root + QStringLiteral("/c"), [this](TFormSelectDir* form) {
        QTreeView* view = tree(form);
        const QModelIndex withSub = shownIndex(view, m_root + QStringLiteral("/a"));
        const QModelIndex empty = shownIndex(view, m_root + QStringLiteral("/c"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->visualRect(empty).isValid(); }, 20000));
        EXPECT_TRUE(view->model()->hasChildren(withSub));
        EXPECT_FALSE(view->model()->hasChildren(empty));
        EXPECT_GE(view->visualRect(empty).height(), QFontMetrics(view->font()).height() + 4);
        click(form, "ButtonCancel");
    });
}

TEST_F(SelectDir, ChangingTheRootShowsThatRootAloneAtTheTop) {
    const QString home = QDir::cleanPath(QDir::homePath());
    ASSERT_NE(home, QStringLiteral("/"));
    ASSERT_FALSE(m_root.startsWith(home + QLatin1Char('/')));
    choose(m_root, [&](TFormSelectDir* form) {
        auto* drives = findControl<QComboBox>(form, "DriveComboBox1");
        pickItem(drives, drives->findText(home));
        EXPECT_EQ(form->currentFolder(), home);

        pickItem(drives, 0);
        EXPECT_EQ(form->currentFolder(), QStringLiteral("/"));
        pickItem(drives, drives->findText(home));
        QTreeView* view = tree(form);
        QFileSystemModel* model = files(view);
        const QModelIndex homeParent = model->index(home).parent();
        // Once the folders beside the home folder are known, none of them may show.
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(homeParent) > 1; }, 20000));
        EXPECT_EQ(view->model()->rowCount(view->rootIndex()), 1);
        EXPECT_EQ(model->filePath(qobject_cast<QSortFilterProxyModel*>(view->model())
                                      ->mapToSource(view->model()->index(0, 0, view->rootIndex()))),
                  home);
        click(form, "ButtonCancel");
    });
}

TEST_F(SelectDir, OkTakesTheStartFolderAndCancelChangesNothing) {
    const QString start = m_root + QStringLiteral("/c");
    EXPECT_EQ(choose(start, [](TFormSelectDir* form) { click(form, "ButtonOk"); }), start);
    EXPECT_EQ(choose(m_root, [](TFormSelectDir* form) { click(form, "ButtonCancel"); }), m_root);
}
