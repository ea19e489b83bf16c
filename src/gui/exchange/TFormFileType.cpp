#include "exchange/TFormFileType.h"

#include "shared/UiFont.h"

namespace norvi {

TFormFileType::TFormFileType(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormFileType"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("通訊錄匯入工具"));
    resize(480, 320);
}

} // namespace norvi
