#pragma once

#include <QDialog>

namespace norvi {

// "關於": the program icon, product name and version, and an OK button. Created for one use.
class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);
};

} // namespace norvi
