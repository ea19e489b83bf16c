#include "addressbook/TFormSelectMember.h"

#include "shared/UiFont.h"

namespace norvi {

// The lists and commands come with the address book windows.
TFormSelectMember::TFormSelectMember(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormSelectMember"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("選擇群組成員"));
}

bool TFormSelectMember::sendMode() const {
    return caller && caller->inherits("norvi::TFormSendSMS");
}

} // namespace norvi
