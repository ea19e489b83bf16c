#include "gui/shared/FontRows.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QTreeView>

#include <algorithm>

namespace norvi {

namespace {

constexpr int kIconRow = 16;
constexpr int kRowMargin = 3; // above and below the text

} // namespace

int FontRowDelegate::rowHeight(const QFont& font) {
    return std::max(QFontMetrics(font).height(), kIconRow) + 2 * kRowMargin;
}

QSize FontRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (m_cellSize.isValid())
        return m_cellSize;
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), rowHeight(option.font)));
    return size;
}

void FontRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!m_cellSize.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cut(option);
    cut.rect.setSize(cut.rect.size().boundedTo(m_cellSize));
    cut.textElideMode = Qt::ElideRight;
    QStyledItemDelegate::paint(painter, cut, index);
}

void FontRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (m_icons == ReserveIcon && index.column() == 0 && !(option->features & QStyleOptionViewItem::HasDecoration)) {
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(kIconRow, kIconRow);
    }
}

void useFontRows(QAbstractItemView* view, FontRowDelegate::Icons icons) {
    view->setItemDelegate(new FontRowDelegate(view, icons));
    if (auto* tree = qobject_cast<QTreeView*>(view))
        tree->setUniformRowHeights(true);
}

} // namespace norvi
