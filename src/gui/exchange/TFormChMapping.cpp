#include "gui/exchange/TFormChMapping.h"

#include "core/exchange/AddressText.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace norvi {

namespace {
constexpr int kEmptyItem = 3; // after 名稱, 行動電話, 說明
}

TFormChMapping::TFormChMapping(QWidget* parent, const QString& caption, int code, bool checked) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormChMapping"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("變更對應"));

    m_comboBoxSelectField = new QComboBox(this);
    m_comboBoxSelectField->setObjectName(QStringLiteral("ComboBoxSelectField"));
    for (const int field : {FieldName, FieldMsisdn, FieldDesc})
        m_comboBoxSelectField->addItem(FieldDisplayName(field));
    m_comboBoxSelectField->addItem(QString());
    m_comboBoxSelectField->setCurrentIndex(code >= FieldName && code <= FieldDesc ? code - 1 : kEmptyItem);

    auto* label1 = makeLabel(this, QStringLiteral("從通訊錄中選擇文字欄位(&S)："), m_comboBoxSelectField);
    label1->setObjectName(QStringLiteral("Label1"));
    m_label2 = new QLabel(caption, this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setTextFormat(Qt::PlainText);

    m_checkBoxImField = new QCheckBox(QStringLiteral("匯入這個欄位(&I)"), this);
    m_checkBoxImField->setObjectName(QStringLiteral("CheckBoxImField"));
    m_checkBoxImField->setChecked(checked);

    auto* buttonOk = makeButton(this, QStringLiteral("確定"), "ButtonOk");
    buttonOk->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(m_label2);
    layout->addWidget(m_comboBoxSelectField);
    layout->addWidget(m_checkBoxImField);
    layout->addStretch(1);
    layout->addWidget(makeButtonBox(this, buttonOk, buttonCancel));
    resize(300, 170);

    connect(buttonOk, &QPushButton::clicked, this, &TFormChMapping::ButtonOkClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormChMapping::ButtonCancelClick);
}

int TFormChMapping::code() const {
    const int index = m_comboBoxSelectField->currentIndex();
    return index >= 0 && index < kEmptyItem ? index + 1 : FieldNone;
}

bool TFormChMapping::imported() const {
    return m_checkBoxImField->isChecked();
}

void TFormChMapping::ButtonOkClick() {
    accept();
}

void TFormChMapping::ButtonCancelClick() {
    reject();
}

} // namespace norvi
