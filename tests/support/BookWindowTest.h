#pragma once

#include "core/addressbook/BookFile.h"
#include "core/compose/ComposeState.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/addressbook/TFormAdrBk.h"
#include "support/BookRecords.h"
#include "support/FileBytes.h"
#include "support/TextPrinting.h"
#include "support/WindowTest.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>

namespace norvi::test {

// Window tests of the address book: the book is put into the maps and the file, then the window is opened
// from the main window as a user does and driven inside its modal loop.
class BookWindowTest : public WindowTest {
protected:
    // Starts the windows, hands them the entries put into the book so far and stores them in AddressBook.bin.
    void startWithBook() {
        startWindows();
        addressBook().replace(m_staged.MemberMap(), m_staged.GroupMap());
        ASSERT_TRUE(SaveAddressBook(addressBook()).ok);
        m_prompts.asked.clear();
    }

    void addMember(int32_t id, const char* name, const char* msisdn = "0912000000", const char* desc = "") {
        addressBook().putMember(
            member(id, big5(QString::fromUtf8(name)), QByteArray(msisdn), big5(QString::fromUtf8(desc))));
    }
    void addGroup(int32_t id, const char* name, std::vector<int32_t> entries = {}) {
        sGroup g = group(id);
        putField(g.name, big5(QString::fromUtf8(name)));
        for (std::size_t i = 0; i < entries.size(); ++i)
            g.members[i] = entries[i];
        addressBook().putGroup(g);
    }

    // Opens 通訊錄 from the main window's tool bar and runs `body` in it; the window is closed afterwards.
    void withBook(const std::function<void(TFormAdrBk&)>& body) {
        inModal<TFormAdrBk>([this] { click(findControl<QToolButton>(&mainWindow(), "SpeedButtonAdrBk")); }, body,
                            [](TFormAdrBk& w) { trigger(item(w, "MItemEnd")); });
    }

    static QAction* item(QWidget& w, const char* name) { return findControl<QAction>(&w, name); }
    static QTreeWidget* tree(TFormAdrBk& w) { return findControl<QTreeWidget>(&w, "TreeViewGroup"); }
    static QTreeView* list(TFormAdrBk& w) { return findControl<QTreeView>(&w, "ListViewAll"); }
    static BookListModel* rows(TFormAdrBk& w) { return qobject_cast<BookListModel*>(list(w)->model()); }
    static QString status(TFormAdrBk& w) { return findControl<QLabel>(&w, "StatusPanel1")->text(); }

    static QStringList captions(QTreeView* view, int column = 0) {
        QStringList texts;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            texts << view->model()->index(r, column).data().toString();
        return texts;
    }
    static QStringList headers(QTreeView* view) {
        QStringList texts;
        for (int c = 0; c < view->model()->columnCount(); ++c)
            texts << view->model()->headerData(c, Qt::Horizontal).toString();
        return texts;
    }
    static QStringList nodes(TFormAdrBk& w) {
        QStringList texts;
        QTreeWidgetItem* root = tree(w)->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            texts << root->child(i)->text(0);
        return texts;
    }
    static QString selectedNode(TFormAdrBk& w) {
        const QList<QTreeWidgetItem*> selected = tree(w)->selectedItems();
        return selected.isEmpty() ? QString() : selected.first()->text(0);
    }

    // Clicks a tree node by its text (the root is 我的連絡人).
    static bool clickNode(TFormAdrBk& w, const QString& text, Qt::MouseButton button = Qt::LeftButton) {
        const QList<QTreeWidgetItem*> found = tree(w)->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty()) {
            ADD_FAILURE() << "no tree node " << text.toStdString();
            return false;
        }
        return clickAt(tree(w)->viewport(), tree(w)->visualItemRect(found.first()).center(), Qt::NoModifier, button);
    }
    // Clicks the list rows whose captions are given, the first plainly and the rest with Ctrl.
    static bool clickRows(QTreeView* view, const QStringList& texts) {
        const QStringList shown = captions(view);
        bool first = true;
        for (const QString& text : texts) {
            const int row = int(shown.indexOf(text));
            if (row < 0) {
                ADD_FAILURE() << "no row " << text.toStdString() << " in "
                              << shown.join(QStringLiteral(",")).toStdString();
                return false;
            }
            if (!clickRow(view, row, first ? Qt::NoModifier : Qt::ControlModifier))
                return false;
            first = false;
        }
        return true;
    }

    // A pop-up menu of the window that is open now.
    static QMenu* openPopup(QWidget& w, const char* name) {
        auto* menu = findControl<QMenu>(&w, name);
        EXPECT_TRUE(menu && menu->isVisible()) << "the pop-up " << name << " is not open";
        return menu;
    }

    // The text of the last message box, or nothing when none was shown.
    QString lastMessage() const { return m_prompts.messages().isEmpty() ? QString() : m_prompts.messages().last(); }

    QByteArray fileBytes() const { return readAll(bookPath()); }
    // The file holds exactly the book as it stands in memory.
    void expectFileIsBook() {
        EXPECT_EQ(fileBytes(), AddressBookImage(addressBook())) << "AddressBook.bin differs from the book";
    }

    std::vector<int32_t> groupSlots(int32_t groupId) {
        std::vector<int32_t> ids;
        for (int32_t id : addressBook().GroupMap().at(groupId).members)
            ids.push_back(id);
        return ids;
    }
};

} // namespace norvi::test
