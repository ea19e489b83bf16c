#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

namespace norvi {

class TFormSendSMS;
class TFormFileType;

// "通訊錄": the address book window, created once at start-up and shown modally from the main window.
// Its tree, list and commands come with the address book work.
class TFormAdrBk : public QDialog {
    Q_OBJECT
public:
    explicit TFormAdrBk(QWidget* parent = nullptr);

    // Set by the window set. 發訊 fills the send dialog's recipients and opens it; 匯入/匯出 set
    // ExchangeMode and open the file type chooser, which leads on to the wizard.
    TFormSendSMS* FormSendSMS = nullptr;
    TFormFileType* FormFileType = nullptr;

    // Member ids of the list's rows in list order; the export writes these members.
    std::vector<int32_t> listedMemberIds() const;
};

} // namespace norvi
