#include "gui/addressbook/TFormAdrBk.h"
#include "gui/shared/FontRows.h"

#include "core/addressbook/AddressBook.h"
#include "core/compose/ComposeState.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/shared/FittedColumns.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/IconTable.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QActionGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvi {

namespace {

const int kColumnWidths[3] = {64, 80, 161};
constexpr int kMinPaneWidth = 100;
constexpr int kDividerWidth = 6;

// Group nodes stay in the order a reader of their names expects.
class GroupNode : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        return QString::localeAwareCompare(text(0), other.text(0)) < 0;
    }
};

constexpr int kGroupIdRole = Qt::UserRole;

} // namespace

TFormAdrBk::TFormAdrBk(AddressBook& book, QWidget* parent) : QDialog(parent), m_book(book) {
    setObjectName(QStringLiteral("TFormAdrBk"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("通訊錄"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(false);

    buildActions();
    auto* bar = new QMenuBar(this);
    buildMenus(bar);
    buildToolBar();
    buildPanes();
    buildPopups();

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("StatusPanel1"));
    m_statusText->setMinimumWidth(100);
    m_statusBar->addWidget(m_statusText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(bar);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(m_statusBar);

    setMinimumSize(300, 200);
    resize(560, 380);
    layoutPanes();
    resetSort();
    updateSortChecks();
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

void TFormAdrBk::buildPanes() {
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("TreeViewGroup"));
    m_tree->setAccessibleName(QStringLiteral("群組"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setMinimumWidth(kMinPaneWidth);
    m_tree->setExpandsOnDoubleClick(false);
    useFontRows(m_tree);
    keepSelectionVisible(m_tree);

    m_model = new BookListModel(3, this);
    m_details = new QTreeView(this);
    m_details->setObjectName(QStringLiteral("ListViewAll"));
    m_details->setAccessibleName(QStringLiteral("連絡人"));
    m_details->setModel(m_model);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    useFontRows(m_details);
    m_details->setAllColumnsShowFocus(true);
    QHeaderView* header = m_details->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    // Columns that fit the list: a whole name and number, the description taking the rest.
    const QString samples[3] = {QStringLiteral("王小明"), QStringLiteral("0912345678"), QString()};
    const QStringList captions = BookColumnCaptions();
    QVector<FittedColumns::Column> columns;
    for (int c = 0; c < 3; ++c)
        columns.append({captions[c], samples[c], kColumnWidths[c], c == 0 ? 20 : 0});
    new FittedColumns(m_details, columns);

    m_icons = new QListView(this);
    m_icons->setObjectName(QStringLiteral("ListViewAllIcons"));
    m_icons->setAccessibleName(QStringLiteral("連絡人"));
    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_details->selectionModel());
    m_icons->setUniformItemSizes(true);
    m_icons->setItemDelegate(m_iconCells = new FontRowDelegate(m_icons));
    m_icons->setTextElideMode(Qt::ElideRight);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        keepSelectionVisible(view);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        connect(view, &QWidget::customContextMenuRequested, this, &TFormAdrBk::ListViewAllPopup);
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { MItemFContentClick(); });
    }
    m_tree->viewport()->installEventFilter(this);
    m_tree->installEventFilter(this);

    m_listStack = new QStackedWidget(this);
    m_listStack->setObjectName(QStringLiteral("ListViewAllPane"));
    m_listStack->addWidget(m_details);
    m_listStack->addWidget(m_icons);
    m_listStack->setMinimumWidth(kMinPaneWidth);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("SplitterAdrBk"));
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_listStack);
    m_splitter->setHandleWidth(kDividerWidth);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->handle(1)->setObjectName(QStringLiteral("Panel1"));
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);

    connect(header, &QHeaderView::sectionClicked, this, &TFormAdrBk::ListViewAllColumnClick);
    connect(m_details->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TFormAdrBk::UpdateCommands);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &TFormAdrBk::TreeViewGroupChange);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &TFormAdrBk::TreeViewGroupPopup);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { MItemFContentClick(); });
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
    m_nodeShown = false;
    m_shownGroup = 0;
    m_context = Context::Tree;
    RebuildTree();
    m_tree->setFocus(Qt::OtherFocusReason);
}

void TFormAdrBk::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (size() != m_lastLayoutSize)
        layoutPanes();
}

// The tree takes three tenths of the width and the list the rest; the tool bar and status bar take their
// heights from the layout.
void TFormAdrBk::layoutPanes() {
    if (m_tree->isVisibleTo(this)) {
        const int total = std::max(m_splitter->width(), width());
        const int treeWidth = std::max(kMinPaneWidth, total * 3 / 10);
        m_splitter->setSizes({treeWidth, std::max(kMinPaneWidth, total - treeWidth - kDividerWidth)});
    }
    m_lastLayoutSize = size();
}

void TFormAdrBk::done(int result) {
    QDialog::done(result);
}

// ---- the panes' context ----

bool TFormAdrBk::eventFilter(QObject* watched, QEvent* event) {
    const bool treeSide = watched == m_tree || watched == m_tree->viewport();
    const bool listSide = watched == m_details || watched == m_details->viewport() || watched == m_icons ||
                          watched == m_icons->viewport();
    if (treeSide || listSide) {
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
    const int selected = int(selectedListRows().size());
    bool content = false, remove = false;
    if (m_context == Context::Tree) {
        QTreeWidgetItem* node = selectedNode();
        const bool root = node && node == rootNode();
        content = node && !root;
        remove = root ? !m_book.GroupMap().empty() : node != nullptr;
    } else {
        content = selected == 1;
        remove = selected >= 1;
    }
    const bool send = selected >= 1;
    for (QAction* a : {MItemFContent, PMItemLvContent, PMItemTvContent})
        a->setEnabled(content);
    SpeedButtonContent->setEnabled(content);
    for (QAction* a : {MItemFDelete, PMItemLvDelete, PMItemTvDelete})
        a->setEnabled(remove);
    SpeedButtonDelete->setEnabled(remove);
    for (QAction* a : {MItemASend, PMItemLvSend, PMItemBtSend})
        a->setEnabled(send);
    SpeedButtonAction->setEnabled(send);
    const bool optOut = !optOutCandidates().empty();
    for (QAction* a : {MItemAOptOut, PMItemLvOptOut})
        a->setEnabled(optOut);
}

// ---- the tree ----

QTreeWidgetItem* TFormAdrBk::rootNode() const {
    return m_tree->topLevelItemCount() ? m_tree->topLevelItem(0) : nullptr;
}

QTreeWidgetItem* TFormAdrBk::selectedNode() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* TFormAdrBk::groupNode(int32_t id) const {
    QTreeWidgetItem* root = rootNode();
    if (!root)
        return nullptr;
    if (id == 0)
        return root;
    for (int i = 0; i < root->childCount(); ++i)
        if (nodeGroupId(root->child(i)) == id)
            return root->child(i);
    return nullptr;
}

int32_t TFormAdrBk::nodeGroupId(const QTreeWidgetItem* node) const {
    return node ? node->data(0, kGroupIdRole).toInt() : 0;
}

void TFormAdrBk::selectNode(QTreeWidgetItem* node) {
    if (!node)
        return;
    m_tree->setCurrentItem(node);
    node->setSelected(true);
    m_tree->scrollToItem(node);
}

// The tree is flat: every group is a child of the root, whatever groups hold it.
void TFormAdrBk::RebuildTree() {
    const int32_t keep = m_nodeShown ? m_shownGroup : 0;
    {
        const QSignalBlocker blocker(m_tree);
        m_tree->clear();
        auto* root = new QTreeWidgetItem(m_tree, {QStringLiteral("我的連絡人")});
        root->setIcon(0, IconTable::icon(BookIcon::Root));
        root->setData(0, kGroupIdRole, 0);
        for (const auto& entry : m_book.GroupMap()) {
            auto* node = new GroupNode(root, {fromBig5(getField(entry.second.name))});
            node->setIcon(0, IconTable::icon(BookIcon::Group));
            node->setData(0, kGroupIdRole, entry.first);
        }
        root->sortChildren(0, Qt::AscendingOrder);
        QTreeWidgetItem* node = groupNode(keep);
        selectNode(node ? node : root);
        m_tree->expandAll();
    }
    TreeViewGroupChange();
}

// A node shows its content once; selecting the node the list already shows leaves the list alone.
void TFormAdrBk::TreeViewGroupChange() {
    QTreeWidgetItem* node = selectedNode();
    if (node && (!m_nodeShown || nodeGroupId(node) != m_shownGroup))
        showNodeContent(node);
    UpdateCommands();
}

void TFormAdrBk::showNodeContent(QTreeWidgetItem* node) {
    if (!node)
        return;
    m_nodeShown = true;
    m_shownGroup = nodeGroupId(node);
    resetSort();
    fillList(m_shownGroup);
    setStatusText();
    UpdateCommands();
}

void TFormAdrBk::TreeViewGroupPopup(const QPoint& pos) {
    QTreeWidgetItem* node = m_tree->itemAt(pos);
    if (!node || node != selectedNode())
        return;
    setContext(Context::Tree);
    m_popupTreeView->popup(m_tree->viewport()->mapToGlobal(pos));
}

// ---- the list ----

void TFormAdrBk::fillList(int32_t groupId) {
    const sGroup* group = groupId ? m_book.group(groupId) : nullptr;
    if (groupId && !group) {
        m_model->setRows({});
        return;
    }
    if (groupId)
        FillFromGroup(m_book, *m_model, group, 3);
    else
        FillAllList(m_book, *m_model);
    sortList();
}

void TFormAdrBk::ReloadList() {
    if (m_shownGroup && !m_book.group(m_shownGroup)) {
        RebuildTree(); // the shown group is gone: the tree moves to the root and shows the book
        return;
    }
    resetSort();
    fillList(m_shownGroup);
    setStatusText();
    UpdateCommands();
}

void TFormAdrBk::ListViewAllPopup(const QPoint& pos) {
    auto* view = qobject_cast<QAbstractItemView*>(sender());
    setContext(Context::List);
    m_popupListView->popup(view->viewport()->mapToGlobal(pos));
}

QAbstractItemView* TFormAdrBk::listView() const {
    return m_listStack->currentWidget() == m_icons ? static_cast<QAbstractItemView*>(m_icons) : m_details;
}

QList<int> TFormAdrBk::selectedListRows() const {
    return SelectedRows(m_details);
}

void TFormAdrBk::selectListRow(int row) {
    QAbstractItemView* view = listView();
    view->setFocus(Qt::OtherFocusReason);
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row, 0);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

std::vector<int32_t> TFormAdrBk::listedMemberIds() const {
    std::vector<int32_t> ids;
    for (const BookRow& row : m_model->rows())
        if (row.kind == RowKind::Member && row.id > 0)
            ids.push_back(row.id);
    return ids;
}

void TFormAdrBk::setStatusText() {
    m_statusText->setText(QString::number(m_model->rowCount()) + QStringLiteral(" 個項目"));
}

// ---- sorting ----

void TFormAdrBk::resetSort() {
    m_model->setCaptions(BookColumnCaptions());
    m_sortColumn = 0;
    m_sortAscending = true;
    updateSortChecks();
}

void TFormAdrBk::sortList() {
    m_model->sortRows(m_sortColumn, m_sortAscending);
}

// A click on the sort column reverses the order; a click on another column sorts by it ascending.
void TFormAdrBk::ListViewAllColumnClick(int column) {
    if (column < 0 || column > 2)
        return;
    if (column != m_sortColumn)
        m_sortAscending = false;
    m_sortAscending = !m_sortAscending;
    m_model->setCaptions(BookColumnCaptions(column, m_sortAscending));
    m_sortColumn = column;
    sortList();
    updateSortChecks();
}

void TFormAdrBk::updateSortChecks() {
    QAction* const items[] = {MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript};
    items[m_sortColumn]->setChecked(true);
    (m_sortAscending ? MItemVSortAsc : MItemVSortDesc)->setChecked(true);
}

void TFormAdrBk::MItemVSortAscClick() {
    if (!m_sortAscending)
        ListViewAllColumnClick(m_sortColumn);
    updateSortChecks();
}

void TFormAdrBk::MItemVSortDescClick() {
    if (m_sortAscending)
        ListViewAllColumnClick(m_sortColumn);
    updateSortChecks();
}

// ---- view ----

void TFormAdrBk::MItemVToolClick() {
    m_toolBar->setVisible(MItemVTool->isChecked());
    layoutPanes();
}

void TFormAdrBk::MItemVStatusClick() {
    m_statusBar->setVisible(MItemVStatus->isChecked());
    layoutPanes();
}

void TFormAdrBk::MItemVGroupClick() {
    m_tree->setVisible(MItemVGroup->isChecked());
    layoutPanes();
}

void TFormAdrBk::ViewStyleClick(QAction* item) {
    if (item == MItemVDetail) {
        m_listStack->setCurrentWidget(m_details);
        return;
    }
    // Cells are as high as the font needs; a name longer than its cell is cut with "…" (small icons and
    // the list) or wrapped under its icon (large icons), never drawn over the next one.
    const int row = FontRowDelegate::rowHeight(m_icons->font());
    if (item == MItemVBIcon) {
        m_iconCells->setCellSize(QSize(84, 32 + 2 * row - 4));
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(32, 32));
        m_icons->setGridSize(QSize(88, 32 + 2 * row));
        m_icons->setWordWrap(true);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
    } else {
        m_iconCells->setCellSize(QSize(116, row));
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize(120, row));
        m_icons->setWordWrap(false);
        m_icons->setFlow(item == MItemVSIcon ? QListView::LeftToRight : QListView::TopToBottom);
        m_icons->setWrapping(true);
    }
    m_listStack->setCurrentWidget(m_icons);
}

} // namespace norvi
