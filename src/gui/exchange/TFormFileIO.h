#pragma once

#include <QDialog>

namespace norvi {

// The import and export wizard, created once at start-up; the file type chooser shows it.
class TFormFileIO : public QDialog {
    Q_OBJECT
public:
    explicit TFormFileIO(QWidget* parent = nullptr);
};

} // namespace norvi
