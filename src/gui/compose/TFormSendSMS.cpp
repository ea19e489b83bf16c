#include "compose/TFormSendSMS.h"

#include "shared/UiFont.h"

namespace norvi {

TFormSendSMS::TFormSendSMS(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormSendSMS"));
    applyFormFont(this);
    setWindowTitle(QString::fromUtf8("發送訊息"));
    resize(480, 320);
}

} // namespace norvi
