#include "gui/sendlog/SendLogDelegate.h"

#include "core/sendlog/SendLogModel.h"
#include "gui/shared/IconTable.h"

namespace norvi {

void SendLogDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    FontRowDelegate::initStyleOption(option, index);
    const QVariant image = index.data(SendLogModel::ImageRole);
    if (!image.isValid())
        return;
    const QIcon icon = IconTable::icon(image.toInt());
    if (icon.isNull())
        return;
    option->icon = icon;
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
}

} // namespace norvi
