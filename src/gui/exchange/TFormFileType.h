#pragma once

#include <QDialog>

namespace norvi {

// The file type chooser of the address book import and export, created once at start-up.
class TFormFileType : public QDialog {
    Q_OBJECT
public:
    explicit TFormFileType(QWidget* parent = nullptr);
};

} // namespace norvi
