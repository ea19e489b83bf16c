#pragma once

#include <QDialog>

namespace norvi {

// "發送訊息": the send dialog, created once at start-up and opened modally by the main window, the
// send log's pop-up and the address book. Its controls come with the compose work.
class TFormSendSMS : public QDialog {
    Q_OBJECT
public:
    explicit TFormSendSMS(QWidget* parent = nullptr);

    // The command that opened the dialog; it decides what the dialog prepares.
    QObject* opener = nullptr;
};

} // namespace norvi
