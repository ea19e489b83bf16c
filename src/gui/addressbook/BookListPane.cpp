#include "gui/addressbook/BookListPane.h"

#include "core/addressbook/AddressBook.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/shared/FittedColumns.h"
#include "gui/shared/FontRows.h"
#include "gui/shared/FormControls.h"

#include <QHeaderView>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

namespace norvi {

namespace {

const int kBookColumnWidths[3] = {64, 80, 161};
constexpr int kListPaneMinWidth = 100;

} // namespace

BookListPane::BookListPane(AddressBook& book, QWidget* dialog) : m_book(book) {
    m_model = new BookListModel(3, dialog);
    m_details = new QTreeView(dialog);
    buildDetails();
    m_icons = new QListView(dialog);
    buildIcons();

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        keepSelectionVisible(view);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { emit popupRequested(view->viewport()->mapToGlobal(pos)); });
        connect(view, &QAbstractItemView::doubleClicked, this, &BookListPane::activated);
    }

    m_stack = new QStackedWidget(dialog);
    m_stack->setObjectName(QStringLiteral("ListViewAllPane"));
    m_stack->addWidget(m_details);
    m_stack->addWidget(m_icons);
    m_stack->setMinimumWidth(kListPaneMinWidth);

    connect(m_details->header(), &QHeaderView::sectionClicked, this, &BookListPane::sortBy);
    connect(m_details->selectionModel(), &QItemSelectionModel::selectionChanged, this, &BookListPane::selectionChanged);
}

void BookListPane::buildDetails() {
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
        columns.append({captions[c], samples[c], kBookColumnWidths[c], c == 0 ? 20 : 0});
    new FittedColumns(m_details, columns);
}

void BookListPane::buildIcons() {
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
}

QWidget* BookListPane::widget() const {
    return m_stack;
}

void BookListPane::watch(QObject* filter) const {
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        view->viewport()->installEventFilter(filter);
        view->installEventFilter(filter);
    }
}

bool BookListPane::watches(const QObject* watched) const {
    return watched == m_details || watched == m_details->viewport() || watched == m_icons ||
           watched == m_icons->viewport();
}

// ---- what the list shows ----

void BookListPane::show(int32_t groupId) {
    m_showsNode = true;
    m_shownGroup = groupId;
    refill(groupId);
}

void BookListPane::forget() {
    m_showsNode = false;
    m_shownGroup = 0;
}

void BookListPane::refill(int32_t groupId) {
    resetSort();
    fill(groupId);
}

void BookListPane::fill(int32_t groupId) {
    const sGroup* group = groupId ? m_book.group(groupId) : nullptr;
    if (groupId && !group) {
        m_model->setRows({});
        return;
    }
    if (groupId)
        FillFromGroup(m_book, *m_model, group, 3);
    else
        FillAllList(m_book, *m_model);
    m_model->sortRows(m_sortColumn, m_sortAscending);
}

std::vector<int32_t> BookListPane::memberIds() const {
    std::vector<int32_t> ids;
    for (const BookRow& row : m_model->rows())
        if (row.kind == RowKind::Member && row.id > 0)
            ids.push_back(row.id);
    return ids;
}

// ---- selection ----

QAbstractItemView* BookListPane::shownView() const {
    return m_stack->currentWidget() == m_icons ? static_cast<QAbstractItemView*>(m_icons) : m_details;
}

QList<int> BookListPane::selectedRows() const {
    return SelectedRows(m_details);
}

void BookListPane::selectRow(int row) {
    QAbstractItemView* view = shownView();
    view->setFocus(Qt::OtherFocusReason);
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row, 0);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

// ---- sorting ----

void BookListPane::resetSort() {
    m_model->setCaptions(BookColumnCaptions());
    m_sortColumn = 0;
    m_sortAscending = true;
    emit sortChanged(m_sortColumn, m_sortAscending);
}

void BookListPane::sortBy(int column) {
    if (column < 0 || column > 2)
        return;
    if (column != m_sortColumn)
        m_sortAscending = false;
    m_sortAscending = !m_sortAscending;
    m_model->setCaptions(BookColumnCaptions(column, m_sortAscending));
    m_sortColumn = column;
    m_model->sortRows(m_sortColumn, m_sortAscending);
    emit sortChanged(m_sortColumn, m_sortAscending);
}

// The order items check what they chose even when the list was in that order already.
void BookListPane::sortInOrder(bool ascending) {
    if (ascending != m_sortAscending)
        sortBy(m_sortColumn);
    emit sortChanged(m_sortColumn, m_sortAscending);
}

// ---- the look ----

void BookListPane::setViewStyle(BookViewStyle style) {
    if (style == BookViewStyle::Details) {
        m_stack->setCurrentWidget(m_details);
        return;
    }
    // Cells are as high as the font needs; a name longer than its cell is cut with "…" (small icons and
    // the list) or wrapped under its icon (large icons), never drawn over the next one.
    const int row = FontRowDelegate::rowHeight(m_icons->font());
    if (style == BookViewStyle::LargeIcons) {
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
        m_icons->setFlow(style == BookViewStyle::SmallIcons ? QListView::LeftToRight : QListView::TopToBottom);
        m_icons->setWrapping(true);
    }
    m_stack->setCurrentWidget(m_icons);
}

} // namespace norvi
