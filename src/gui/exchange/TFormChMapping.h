#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;

namespace norvi {

// "變更對應": the address book field of one text column, created for one use by the wizard.
class TFormChMapping : public QDialog {
    Q_OBJECT
public:
    // `caption` names the column; `code` is its field (0 for none), `checked` whether it is imported.
    TFormChMapping(QWidget* parent, const QString& caption, int code, bool checked);

    // After 確定: the chosen field (0 for the empty item) and the check box.
    int code() const;
    bool imported() const;

private slots:
    void ButtonOkClick();
    void ButtonCancelClick();

private:
    QLabel* m_label2;
    QComboBox* m_comboBoxSelectField;
    QCheckBox* m_checkBoxImField;
};

} // namespace norvi
