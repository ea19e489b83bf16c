#include "gui/addressbook/TFormAdrBk.h"

#include "core/addressbook/AddressBook.h"
#include "gui/addressbook/BookCommands.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookListPane.h"
#include "gui/addressbook/BookLists.h"
#include "gui/addressbook/BookTreePane.h"
#include "gui/shared/UiFont.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QMenuBar>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

// The address book window: it lays out its parts (the commands, the group tree, the member list and the
// status bar), keeps which pane the user is in and lets the list follow the tree.
namespace norvi {

namespace {

constexpr int kBookDividerWidth = 6;

} // namespace

TFormAdrBk::TFormAdrBk(AddressBook& book, QWidget* parent) : QDialog(parent), m_book(book) {
    setObjectName(QStringLiteral("TFormAdrBk"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("通訊錄"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(false);

    m_commands = std::make_unique<BookCommands>(this);
    m_tree = std::make_unique<BookTreePane>(this);
    m_list = std::make_unique<BookListPane>(m_book, this);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("SplitterAdrBk"));
    m_splitter->addWidget(m_tree->widget());
    m_splitter->addWidget(m_list->widget());
    m_splitter->setHandleWidth(kBookDividerWidth);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->handle(1)->setObjectName(QStringLiteral("Panel1"));
    // A screen reader names the divider the mouse drags, as it names every other control.
    m_splitter->setAccessibleName(QStringLiteral("群組與連絡人"));
    m_splitter->handle(1)->setAccessibleName(QStringLiteral("群組與連絡人分隔線"));
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    buildStatusBar();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_commands->menuBar());
    layout->addWidget(m_commands->toolBar());
    layout->addWidget(m_splitter, 1);
    layout->addWidget(m_statusBar);

    wireParts();
    setMinimumSize(300, 200);
    resize(560, 380);
    layoutPanes();
    m_list->resetSort();
    setStatusText();

    BookNotifier& notifier = BookNotifier::of(m_book);
    // While the window is hidden there is nothing to refresh: every opening builds the tree and list anew.
    connect(&notifier, &BookNotifier::treeRebuildRequested, this, [this] {
        if (isVisible())
            RebuildTree();
    });
    connect(&notifier, &BookNotifier::listReloadRequested, this, [this] {
        if (isVisible())
            ReloadList();
    });
}

TFormAdrBk::~TFormAdrBk() = default;

void TFormAdrBk::buildStatusBar() {
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("StatusPanel1"));
    m_statusText->setMinimumWidth(100);
    m_statusBar->addWidget(m_statusText);
}

void TFormAdrBk::wireParts() {
    BookCommands* c = m_commands.get();
    connect(c, &BookCommands::newMemberChosen, this, &TFormAdrBk::MItemFNewMemberClick);
    connect(c, &BookCommands::newGroupChosen, this, &TFormAdrBk::MItemFNewGroupClick);
    connect(c, &BookCommands::contentChosen, this, &TFormAdrBk::MItemFContentClick);
    connect(c, &BookCommands::deleteChosen, this, &TFormAdrBk::MItemFDeleteClick);
    connect(c, &BookCommands::importChosen, this, [this] { openExchange(true); });
    connect(c, &BookCommands::exportChosen, this, [this] { openExchange(false); });
    connect(c, &BookCommands::sendChosen, this, &TFormAdrBk::MItemASendClick);
    connect(c, &BookCommands::optOutChosen, this, &TFormAdrBk::MItemAOptOutClick);
    connect(c, &BookCommands::refreshChosen, this, &TFormAdrBk::MItemRefreshClick);
    connect(c, &BookCommands::toolBarChosen, this, &TFormAdrBk::MItemVToolClick);
    connect(c, &BookCommands::statusBarChosen, this, &TFormAdrBk::MItemVStatusClick);
    connect(c, &BookCommands::groupPaneChosen, this, &TFormAdrBk::MItemVGroupClick);
    connect(c, &BookCommands::viewStyleChosen, m_list.get(), &BookListPane::setViewStyle);
    connect(c, &BookCommands::sortColumnChosen, m_list.get(), &BookListPane::sortBy);
    connect(c, &BookCommands::sortOrderChosen, m_list.get(), &BookListPane::sortInOrder);

    connect(m_list.get(), &BookListPane::sortChanged, c, &BookCommands::checkSort);
    connect(m_list.get(), &BookListPane::selectionChanged, this, &TFormAdrBk::UpdateCommands);
    connect(m_list.get(), &BookListPane::activated, this, &TFormAdrBk::MItemFContentClick);
    connect(m_list.get(), &BookListPane::popupRequested, this, [this](const QPoint& globalPos) {
        setContext(Context::List);
        m_commands->popUpListMenu(globalPos);
    });
    connect(m_tree.get(), &BookTreePane::nodeChanged, this, &TFormAdrBk::TreeViewGroupChange);
    connect(m_tree.get(), &BookTreePane::activated, this, &TFormAdrBk::MItemFContentClick);
    connect(m_tree.get(), &BookTreePane::popupRequested, this, [this](const QPoint& globalPos) {
        setContext(Context::Tree);
        m_commands->popUpTreeMenu(globalPos);
    });
    m_list->watch(this);
    m_tree->watch(this);
}

// ---- showing and laying out ----

void TFormAdrBk::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

// Every opening starts from the whole book with the root selected.
void TFormAdrBk::FormShow() {
    m_lastLayoutSize = size();
    m_list->forget();
    m_context = Context::Tree;
    RebuildTree();
    m_tree->widget()->setFocus(Qt::OtherFocusReason);
}

void TFormAdrBk::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (size() != m_lastLayoutSize)
        layoutPanes();
}

// The tree takes three tenths of the width and the list the rest; the tool bar and status bar take their
// heights from the layout.
void TFormAdrBk::layoutPanes() {
    QWidget* tree = m_tree->widget();
    if (tree->isVisibleTo(this)) {
        const int total = std::max(m_splitter->width(), width());
        const int treeWidth = std::max(tree->minimumWidth(), total * 3 / 10);
        const int listWidth = std::max(m_list->widget()->minimumWidth(), total - treeWidth - kBookDividerWidth);
        m_splitter->setSizes({treeWidth, listWidth});
    }
    m_lastLayoutSize = size();
}

void TFormAdrBk::MItemVToolClick(bool shown) {
    m_commands->toolBar()->setVisible(shown);
    layoutPanes();
}

void TFormAdrBk::MItemVStatusClick(bool shown) {
    m_statusBar->setVisible(shown);
    layoutPanes();
}

void TFormAdrBk::MItemVGroupClick(bool shown) {
    m_tree->widget()->setVisible(shown);
    layoutPanes();
}

void TFormAdrBk::setStatusText() {
    m_statusText->setText(QString::number(m_list->model().rowCount()) + QStringLiteral(" 個項目"));
}

// ---- the panes' context ----

bool TFormAdrBk::eventFilter(QObject* watched, QEvent* event) {
    const bool treeSide = m_tree->watches(watched);
    if (treeSide || m_list->watches(watched)) {
        bool enters = event->type() == QEvent::MouseButtonPress;
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            enters = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        }
        if (enters)
            setContext(treeSide ? Context::Tree : Context::List);
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAdrBk::setContext(Context context) {
    m_context = context;
    UpdateCommands();
}

// 內容 and 刪除 act on the tree's node in tree context and on the list's rows in list context; 發訊 always
// sends the list's selected rows.
void TFormAdrBk::UpdateCommands() {
    const int selected = int(m_list->selectedRows().size());
    BookCommands::Allowed allowed;
    if (m_context == Context::Tree) {
        const bool root = m_tree->rootSelected();
        allowed.content = m_tree->hasSelection() && !root;
        allowed.remove = root ? !m_book.GroupMap().empty() : m_tree->hasSelection();
    } else {
        allowed.content = selected == 1;
        allowed.remove = selected >= 1;
    }
    allowed.send = selected >= 1;
    allowed.optOut = !optOutCandidates().empty();
    m_commands->enable(allowed);
}

// ---- the list follows the tree ----

void TFormAdrBk::RebuildTree() {
    m_tree->rebuild(m_book, m_list->shownGroup());
    TreeViewGroupChange();
}

// A node shows its content once; selecting the node the list already shows leaves the list alone.
void TFormAdrBk::TreeViewGroupChange() {
    if (m_tree->hasSelection() && !m_list->shows(m_tree->selectedGroup())) {
        m_list->show(m_tree->selectedGroup());
        setStatusText();
    }
    UpdateCommands();
}

void TFormAdrBk::ReloadList() {
    const int32_t shown = m_list->shownGroup();
    if (shown && !m_book.group(shown)) {
        RebuildTree(); // the shown group is gone: the tree moves to the root and shows the book
        return;
    }
    m_list->refill(shown);
    setStatusText();
    UpdateCommands();
}

std::vector<int32_t> TFormAdrBk::listedMemberIds() const {
    return m_list->memberIds();
}

} // namespace norvi
