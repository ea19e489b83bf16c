#pragma once

#include "addressbook/AddressBookRecords.h"

#include <QDialog>

namespace norvi {

// "選擇受訊者" / "選擇群組成員": the member picker. The caller creates it for one use, sets `caller` and
// `editedGroup`, shows it modally and destroys it. A result of 1 means the output has been written:
// RecipientList when the caller is the send dialog (send mode), GroupScratch.members otherwise.
class TFormSelectMember : public QDialog {
    Q_OBJECT
public:
    explicit TFormSelectMember(QWidget* parent = nullptr);

    QWidget* caller = nullptr;
    sGroup* editedGroup = nullptr;

    // The send dialog opens the picker for its recipients; every other caller edits a group.
    bool sendMode() const;
};

} // namespace norvi
