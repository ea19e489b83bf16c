#pragma once

#include <QObject>

#include <cstdint>

class QPoint;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace norvi {

class AddressBook;

// The left pane of the address book window: 我的連絡人 and under it every group of the book, one node
// each, with one node selected. Nodes are named by their group's id, 0 for the root. The selecting calls
// here do not give `nodeChanged`: the window decides when the list follows.
class BookTreePane : public QObject {
    Q_OBJECT
public:
    // Builds the tree (TreeViewGroup) into `dialog`.
    explicit BookTreePane(QWidget* dialog);

    QTreeWidget* widget() const { return m_tree; }
    // Sends the tree's focus and mouse presses through `filter`, and tells whether it watches `watched`.
    void watch(QObject* filter) const;
    bool watches(const QObject* watched) const;

    // Builds the nodes again from the book's groups; the node of `keep` stays selected while its group
    // exists, otherwise the root is selected.
    void rebuild(const AddressBook& book, int32_t keep);
    bool hasSelection() const;
    bool rootSelected() const;
    int32_t selectedGroup() const; // 0 for the root or when no node is selected
    // Selects the group's node, or the root when the group has none.
    void select(int32_t groupId);
    void selectRootIfNone();
    // Removes the selected group's node; the selection moves to the next group, or the one before when
    // the last was removed, or the root.
    void removeSelected();
    void remove(int32_t groupId);

signals:
    void nodeChanged();
    void activated(); // a double click on a node
    // A right click on the selected node.
    void popupRequested(const QPoint& globalPos);

private:
    QTreeWidgetItem* rootNode() const;
    QTreeWidgetItem* selectedNode() const;
    QTreeWidgetItem* groupNode(int32_t id) const;
    void selectNode(QTreeWidgetItem* node);

    QTreeWidget* m_tree = nullptr;
};

} // namespace norvi
