#pragma once

#include <QStyledItemDelegate>

namespace norvi {

// Draws the send log's images from the shared icon table: the row image in the name column and the
// reservation mark in the 傳送碼 column. The model only knows image indexes.
class SendLogDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace norvi
