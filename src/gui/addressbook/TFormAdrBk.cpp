#include "addressbook/TFormAdrBk.h"

#include "shared/UiFont.h"

namespace norvi {

TFormAdrBk::TFormAdrBk(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormAdrBk"));
    applyFormFont(this);
    setWindowTitle(QString::fromUtf8("通訊錄"));
    resize(480, 320);
}

} // namespace norvi
