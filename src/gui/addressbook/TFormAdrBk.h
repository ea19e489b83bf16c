#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/compose/OptOutList.h"
#include "core/compose/RecipientRecords.h"

#include <QDialog>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QSplitter;
class QStatusBar;

namespace norvi {

class BookCommands;
class BookListPane;
class BookTreePane;

// "通訊錄": the address book window, created once at start-up (which loads AddressBook.bin) and shown
// modally from the main window. The tree on the left lists the groups under 我的連絡人; the list on the
// right shows what the selected node holds: the whole book for the root, a group's entries for a group.
// Every change made here is written to the file at once.
class TFormAdrBk : public QDialog {
    Q_OBJECT
public:
    explicit TFormAdrBk(AddressBook& book, QWidget* parent = nullptr);
    ~TFormAdrBk() override;

    // Member ids of the list's rows in list order; the export writes these members.
    std::vector<int32_t> listedMemberIds() const;

    // The list shows again what the selected tree node holds as the book now stands, sorted by 名稱
    // ascending. The editors call it (through BookNotifier) after an OK, the import after its run.
    void ReloadList();
    // Builds the tree again from the book's groups; the node shown before stays selected while its group exists,
    // otherwise the root is selected. The list follows the selected node.
    void RebuildTree();

    // The numbers 加入拒收名單 offers: those of the members among the list's selected rows.
    std::vector<OptOutCandidate> optOutCandidates() const;

signals:
    // 發訊: the chosen entries, in list order, for the send dialog. 匯入/匯出: the file type chooser, which
    // leads on to the wizard; an export writes `listedIds`.
    void sendRequested(const std::vector<sMtData>& entries);
    // 加入拒收名單: every number of the chosen members, with the member's name.
    void optOutRequested(const std::vector<OptOutCandidate>& numbers);
    void exchangeRequested(bool import, const std::vector<int32_t>& listedIds);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The pane the user is in: 內容 and 刪除 act on the tree's node or on the list's rows.
    enum class Context { Tree, List };

    // The window (TFormAdrBk.cpp)
    void buildStatusBar();
    void wireParts();
    void FormShow();
    void layoutPanes();
    void setContext(Context context);
    void UpdateCommands();
    void TreeViewGroupChange();
    void setStatusText();
    void MItemVToolClick(bool shown);
    void MItemVStatusClick(bool shown);
    void MItemVGroupClick(bool shown);

    // Commands (TFormAdrBkCommands.cpp)
    void MItemFNewMemberClick();
    void MItemFNewGroupClick();
    void MItemFContentClick();
    void MItemFDeleteClick();
    void MItemASendClick();
    void MItemAOptOutClick();
    void MItemRefreshClick();
    void editMember(int32_t id);
    void editGroup(int32_t id);
    void deleteAllGroups();
    void deleteSelectedGroup();
    void deleteListRowsForever();
    void removeListRowsFromGroup(int32_t groupId);
    void openExchange(bool import);

    AddressBook& m_book;
    Context m_context = Context::Tree;
    QSize m_lastLayoutSize;

    std::unique_ptr<BookCommands> m_commands;
    std::unique_ptr<BookTreePane> m_tree;
    std::unique_ptr<BookListPane> m_list;
    QSplitter* m_splitter = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusText = nullptr;
};

} // namespace norvi
