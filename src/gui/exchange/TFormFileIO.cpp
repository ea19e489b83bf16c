#include "exchange/TFormFileIO.h"

#include "shared/UiFont.h"

namespace norvi {

TFormFileIO::TFormFileIO(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormFileIO"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("匯入"));
    resize(480, 320);
}

} // namespace norvi
