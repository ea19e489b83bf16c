#pragma once

#include "gui/shared/FontRows.h"

namespace norvi {

// Draws the send log's images from the shared icon table: the row image in the name column and the
// reservation mark in the 傳送碼 column, in rows as high as the font needs. The model only knows image
// indexes.
class SendLogDelegate : public FontRowDelegate {
    Q_OBJECT
public:
    using FontRowDelegate::FontRowDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace norvi
