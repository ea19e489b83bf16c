#pragma once

#include <QDialog>

namespace norvi {

// "通訊錄": the address book window, created once at start-up and shown modally from the main window.
// Its tree, list and commands come with the address book work.
class TFormAdrBk : public QDialog {
    Q_OBJECT
public:
    explicit TFormAdrBk(QWidget* parent = nullptr);
};

} // namespace norvi
