#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace norvi {

// Rows as high as the font needs. The Ming face draws underscores and descenders below the height it
// reports, and a row without an icon would be exactly that high: "my_log_files" would read "my log
// files". Every list and tree asks for the font's height plus a margin above and below, and never less
// than an icon's 16 px with its margin. With a cell size, every item takes exactly that size and its
// text is elided (or wrapped, where the view wraps) inside it, so a long name in a grid of icons never
// runs over its neighbour and a short first name does not make every cell narrow.
class FontRowDelegate : public QStyledItemDelegate {
public:
    // ReserveIcon: a cell without an icon keeps the icon's room, so texts line up when only some rows
    // have one.
    enum Icons { IconsAsGiven, ReserveIcon };

    explicit FontRowDelegate(QObject* parent = nullptr, Icons icons = IconsAsGiven)
        : QStyledItemDelegate(parent), m_icons(icons) {}

    static int rowHeight(const QFont& font);
    void setCellSize(const QSize& size) { m_cellSize = size; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QSize m_cellSize; // invalid: items as large as their contents
    Icons m_icons;
};

// Gives the view a FontRowDelegate and, for a tree, rows of one height.
void useFontRows(QAbstractItemView* view, FontRowDelegate::Icons icons = FontRowDelegate::IconsAsGiven);

} // namespace norvi
