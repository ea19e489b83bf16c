#include "shared/Prompts.h"
#include "shared/TFormSelectDir.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

using namespace norvi;

namespace {

class SelectDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("a/b")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("c")));
        m_root = QDir(m_dir.path()).canonicalPath();
    }

    static QTreeView* tree(QWidget* form) { return form->findChild<QTreeView*>(QStringLiteral("DirectoryListBox1")); }
    static QFileSystemModel* files(QTreeView* view) {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
        return proxy ? qobject_cast<QFileSystemModel*>(proxy->sourceModel()) : nullptr;
    }
    static QModelIndex shownIndex(QTreeView* view, const QString& path) {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
        return proxy->mapFromSource(files(view)->index(path));
    }

    // Runs `act` on the modal window once the real exec has shown it.
    static void whenModal(std::function<void(QWidget*)> act) {
        QTimer::singleShot(0, [act] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal)
                act(modal);
            else
                whenModal(act);
        });
    }

    QTemporaryDir m_dir;
    QString m_root;
};

} // namespace

TEST_F(SelectDir, StartsAtTheGivenFolderUnderTheRootsOnOffer) {
    TFormSelectDir form(nullptr, m_root + QStringLiteral("/a/b"));
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("目錄選擇"));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("LabelPrompt"))->text(), QString::fromUtf8("請選擇目錄："));
    auto* drives = form.findChild<QComboBox*>(QStringLiteral("DriveComboBox1"));
    ASSERT_NE(drives, nullptr);
    EXPECT_EQ(drives->itemText(0), QStringLiteral("/"));
    EXPECT_GE(drives->findText(QDir::cleanPath(QDir::homePath())), 0);
    EXPECT_EQ(form.currentFolder(), m_root + QStringLiteral("/a/b"));
    EXPECT_TRUE(m_root.startsWith(drives->currentText()));

    // Without a usable start it opens at the current folder.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_root + QStringLiteral("/c")));
    TFormSelectDir fallback(nullptr, m_root + QStringLiteral("/missing"));
    QDir::setCurrent(cwd);
    EXPECT_EQ(fallback.currentFolder(), m_root + QStringLiteral("/c"));
}

TEST_F(SelectDir, StartFolderIsBroughtIntoViewOnceTheFoldersAboveItAreRead) {
    TFormSelectDir form(nullptr, m_root + QStringLiteral("/a/b"));
    form.show();
    QTreeView* view = tree(&form);
    QFileSystemModel* model = files(view);
    // Reading and sorting the folders above the start folder puts rows above it and pushes it out of view.
    const QString topFolder = QLatin1Char('/') + m_root.section(QLatin1Char('/'), 1, 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return model->index(topFolder).row() > 0 && model->rowCount(model->index(m_root)) == 2 &&
                   model->rowCount(model->index(m_root + QStringLiteral("/a"))) == 1;
        },
        20000));
    // The view lays the new rows out later; only then is the position of the start folder real.
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->verticalScrollBar()->maximum() > 0; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor(
        [view] {
            const QRect item = view->visualRect(view->currentIndex());
            return item.isValid() && view->viewport()->rect().contains(item);
        },
        20000));
    EXPECT_EQ(form.currentFolder(), m_root + QStringLiteral("/a/b"));
}

TEST_F(SelectDir, FolderPickedInTheTreeIsTheChoice) {
    TFormSelectDir form(nullptr, m_root);
    QTreeView* view = tree(&form);
    ASSERT_NE(view, nullptr);
    const QModelIndex target = shownIndex(view, m_root + QStringLiteral("/a"));
    ASSERT_TRUE(target.isValid());
    view->setCurrentIndex(target);
    form.findChild<QPushButton*>(QStringLiteral("ButtonOk"))->click();
    EXPECT_EQ(form.result(), int(QDialog::Accepted));
    EXPECT_EQ(form.currentFolder(), m_root + QStringLiteral("/a"));
}

TEST_F(SelectDir, ChangingTheRootShowsThatRootAloneAtTheTop) {
    TFormSelectDir form(nullptr, m_root);
    auto* drives = form.findChild<QComboBox*>(QStringLiteral("DriveComboBox1"));
    const QString home = QDir::cleanPath(QDir::homePath());
    ASSERT_NE(home, QStringLiteral("/"));
    ASSERT_FALSE(m_root.startsWith(home + QLatin1Char('/')));
    drives->setCurrentIndex(drives->findText(home));
    EXPECT_EQ(form.currentFolder(), home);

    drives->setCurrentIndex(0);
    EXPECT_EQ(form.currentFolder(), QStringLiteral("/"));
    drives->setCurrentIndex(drives->findText(home));
    QTreeView* view = tree(&form);
    QFileSystemModel* model = files(view);
    const QModelIndex homeParent = model->index(home).parent();
    // Once the folders beside the home folder are known, none of them may show.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(homeParent) > 1; }, 20000));
    ASSERT_EQ(view->model()->rowCount(view->rootIndex()), 1);
    EXPECT_EQ(model->filePath(qobject_cast<QSortFilterProxyModel*>(view->model())
                                  ->mapToSource(view->model()->index(0, 0, view->rootIndex()))),
              home);
}

TEST_F(SelectDir, RealPromptRunsTheChooserAndReturnsTheFolderOrNothing) {
    setPrompts(nullptr);
    QString promptShown;
    whenModal([&promptShown](QWidget* modal) {
        promptShown = modal->findChild<QLabel*>(QStringLiteral("LabelPrompt"))->text();
        modal->findChild<QPushButton*>(QStringLiteral("ButtonOk"))->click();
    });
    EXPECT_EQ(prompts().chooseFolder(nullptr, QString::fromUtf8("請選擇運作記錄檔目錄："), m_root + "/c"),
              m_root + QStringLiteral("/c"));
    EXPECT_EQ(promptShown, QString::fromUtf8("請選擇運作記錄檔目錄："));

    whenModal([](QWidget* modal) { modal->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click(); });
    EXPECT_EQ(prompts().chooseFolder(nullptr, QString(), m_root), QString());
}
