#include "addressbook/TFormAdrBk.h"

#include "addressbook/AddressBook.h"
#include "shared/Prompts.h"
#include "shared/UiFont.h"

namespace norvi {

TFormAdrBk::TFormAdrBk(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormAdrBk"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("通訊錄"));
    resize(480, 320);

    // The address book is read once, when its window is created at start-up; from then on the maps
    // are the master copy and the file follows them.
    const AddressBookResult loaded = LoadAddressBook();
    if (!loaded.message.isEmpty())
        prompts().notice(parent, loaded.ok ? Prompts::Icon::Warning : Prompts::Icon::Error,
                         QStringLiteral("Norvi簡訊服務軟體"), loaded.message);
}

// The list comes with the address book work; until then the export has no rows to write.
std::vector<int32_t> TFormAdrBk::listedMemberIds() const {
    return {};
}

} // namespace norvi
