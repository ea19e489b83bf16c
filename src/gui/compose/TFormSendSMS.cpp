#include "compose/TFormSendSMS.h"

#include "compose/ComposeState.h"
#include "shared/UiFont.h"

namespace norvi {

TFormSendSMS::TFormSendSMS(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormSendSMS"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("發送訊息"));
    resize(480, 320);
}

// The recipient field comes with the compose work; until then it holds no entries.
int TFormSendSMS::ParseRecipientField(bool keepListRows) {
    (void)keepListRows;
    RecipientList.clear();
    return 0;
}

void TFormSendSMS::RenderRecipientField() {
    RecipientList.clear();
}

} // namespace norvi
