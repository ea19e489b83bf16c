#include "gui/addressbook/BookTreePane.h"

#include "core/addressbook/AddressBook.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/shared/FontRows.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/IconTable.h"

#include <QTreeWidget>

namespace norvi {

namespace {

constexpr int kTreePaneMinWidth = 100;
constexpr int kGroupIdRole = Qt::UserRole;

// Group nodes stay in the order a reader of their names expects.
class GroupNode : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        return QString::localeAwareCompare(text(0), other.text(0)) < 0;
    }
};

int32_t nodeGroupId(const QTreeWidgetItem* node) {
    return node ? node->data(0, kGroupIdRole).toInt() : 0;
}

} // namespace

BookTreePane::BookTreePane(QWidget* dialog) {
    m_tree = new QTreeWidget(dialog);
    m_tree->setObjectName(QStringLiteral("TreeViewGroup"));
    m_tree->setAccessibleName(QStringLiteral("群組"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setMinimumWidth(kTreePaneMinWidth);
    m_tree->setExpandsOnDoubleClick(false);
    useFontRows(m_tree);
    keepSelectionVisible(m_tree);

    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &BookTreePane::nodeChanged);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* node = m_tree->itemAt(pos);
        if (node && node == selectedNode())
            emit popupRequested(m_tree->viewport()->mapToGlobal(pos));
    });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &BookTreePane::activated);
}

void BookTreePane::watch(QObject* filter) const {
    m_tree->viewport()->installEventFilter(filter);
    m_tree->installEventFilter(filter);
}

bool BookTreePane::watches(const QObject* watched) const {
    return watched == m_tree || watched == m_tree->viewport();
}

// The tree is flat: every group is a child of the root, whatever groups hold it.
void BookTreePane::rebuild(const AddressBook& book, int32_t keep) {
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    auto* root = new QTreeWidgetItem(m_tree, {QStringLiteral("我的連絡人")});
    root->setIcon(0, IconTable::icon(BookIcon::Root));
    root->setData(0, kGroupIdRole, 0);
    for (const auto& entry : book.GroupMap()) {
        auto* node = new GroupNode(root, {fromBig5(getField(entry.second.name))});
        node->setIcon(0, IconTable::icon(BookIcon::Group));
        node->setData(0, kGroupIdRole, entry.first);
    }
    root->sortChildren(0, Qt::AscendingOrder);
    QTreeWidgetItem* node = groupNode(keep);
    selectNode(node ? node : root);
    m_tree->expandAll();
}

QTreeWidgetItem* BookTreePane::rootNode() const {
    return m_tree->topLevelItemCount() ? m_tree->topLevelItem(0) : nullptr;
}

QTreeWidgetItem* BookTreePane::selectedNode() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* BookTreePane::groupNode(int32_t id) const {
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

bool BookTreePane::hasSelection() const {
    return selectedNode() != nullptr;
}

bool BookTreePane::rootSelected() const {
    QTreeWidgetItem* node = selectedNode();
    return node && node == rootNode();
}

int32_t BookTreePane::selectedGroup() const {
    return nodeGroupId(selectedNode());
}

void BookTreePane::selectNode(QTreeWidgetItem* node) {
    if (!node)
        return;
    m_tree->setCurrentItem(node);
    node->setSelected(true);
    m_tree->scrollToItem(node);
}

void BookTreePane::select(int32_t groupId) {
    const QSignalBlocker blocker(m_tree);
    QTreeWidgetItem* node = groupNode(groupId);
    selectNode(node ? node : rootNode());
}

void BookTreePane::selectRootIfNone() {
    const QSignalBlocker blocker(m_tree);
    if (!selectedNode())
        selectNode(rootNode());
}

void BookTreePane::removeSelected() {
    QTreeWidgetItem* node = selectedNode();
    QTreeWidgetItem* parent = node ? node->parent() : nullptr;
    if (!parent)
        return;
    const int index = parent->indexOfChild(node);
    QTreeWidgetItem* neighbour = parent->child(index + 1);
    if (!neighbour)
        neighbour = index > 0 ? parent->child(index - 1) : parent;
    const QSignalBlocker blocker(m_tree);
    delete node;
    selectNode(neighbour);
}

void BookTreePane::remove(int32_t groupId) {
    const QSignalBlocker blocker(m_tree);
    if (groupId != 0)
        delete groupNode(groupId);
}

} // namespace norvi
