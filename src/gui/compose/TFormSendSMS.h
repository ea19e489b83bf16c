#pragma once

#include <QDialog>

namespace norvi {

// "發送訊息": the send dialog, created once at start-up and opened modally by the main window, the
// send log's pop-up and the address book. Its controls come with the compose work.
class TFormSendSMS : public QDialog {
    Q_OBJECT
public:
    explicit TFormSendSMS(QWidget* parent = nullptr);

    // The command that opened the dialog; it decides what the dialog prepares. The address book sets it
    // to its MItemASend action after adding the chosen entries to RecipientList.
    QObject* opener = nullptr;

    // Empties RecipientList and refills it from the recipient field in field order; list-file rows
    // (kind 1) are taken only with `keepListRows`. Returns the number of entries.
    int ParseRecipientField(bool keepListRows);
    // Writes RecipientList into the recipient field, replacing its text, then empties RecipientList.
    void RenderRecipientField();
};

} // namespace norvi
