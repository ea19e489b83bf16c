#include "gui/exchange/TFormFileType.h"
#include "gui/shared/FontRows.h"

#include "core/exchange/ExchangeState.h"
#include "gui/exchange/TFormFileIO.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace norvi {

TFormFileType::TFormFileType(AddressBook& book, const QString& startDir, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormFileType"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("通訊錄匯入工具"));
    m_wizard = new TFormFileIO(book, startDir, this);
    connect(m_wizard, &TFormFileIO::bookImported, this, &TFormFileType::bookImported);

    m_listBoxTypeSelect = new QListWidget(this);
    m_listBoxTypeSelect->setObjectName(QStringLiteral("ListBoxTypeSelect"));
    useFontRows(m_listBoxTypeSelect);
    m_label1 = makeLabel(this, QString(), m_listBoxTypeSelect);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setWordWrap(true);
    // A list is not named by its label for screen readers, and the label is a whole sentence.
    m_listBoxTypeSelect->setAccessibleName(QStringLiteral("檔案類型"));

    m_progressBarIO = new QProgressBar(this);
    m_progressBarIO->setObjectName(QStringLiteral("ProgressBarIO"));
    m_progressBarIO->setVisible(false);

    m_buttonIO = makeButton(this, QString(), "ButtonIO");
    m_buttonIO->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消(&C)"), "ButtonCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progressBarIO, 1);
    buttons->addStretch(0);
    // A hand-built row: the wizard is a child of this window, and a test or tool that looks for ButtonCancel
    // here must meet this window's own button (a direct child) before the wizard's.
    buttons->addWidget(m_buttonIO);
    buttons->addWidget(buttonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_listBoxTypeSelect, 1);
    layout->addLayout(buttons);
    resize(400, 260);

    // The arrow keys choose a type too; the focus stays in the list for them. The list's own current row,
    // set when it takes the focus, is no choice of the user's.
    connect(m_listBoxTypeSelect, &QListWidget::itemSelectionChanged, this, &TFormFileType::storeType);
    connect(m_listBoxTypeSelect, &QListWidget::itemClicked, this, &TFormFileType::ListBoxTypeSelectClick);
    connect(m_listBoxTypeSelect, &QListWidget::itemDoubleClicked, this, &TFormFileType::ListBoxTypeSelectDblClick);
    connect(m_buttonIO, &QPushButton::clicked, this, &TFormFileType::ButtonIOClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormFileType::ButtonCancelClick);
}

void TFormFileType::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFormFileType::FormShow() {
    m_buttonIO->setEnabled(false);
    m_progressBarIO->setVisible(false);
    {
        const QSignalBlocker quiet(m_listBoxTypeSelect);
        m_listBoxTypeSelect->clear();
        m_listBoxTypeSelect->addItem(QStringLiteral("純文字檔案 (逗點分隔)"));
        m_listBoxTypeSelect->addItem(QStringLiteral("純文字檔案 (空白分隔)"));
        m_listBoxTypeSelect->setCurrentRow(-1);
    }
    m_listBoxTypeSelect->setFocus();
    if (m_direction == ExchangeDirection::Import) {
        setWindowTitle(QStringLiteral("通訊錄匯入工具"));
        m_label1->setText(QStringLiteral("選擇您要匯入通訊錄的檔案類型，然後按一下[匯入]按鈕。"));
        m_buttonIO->setText(QStringLiteral("匯入(&I)"));
    } else {
        setWindowTitle(QStringLiteral("通訊錄匯出工具"));
        m_label1->setText(QStringLiteral("選擇您要匯出通訊錄的檔案類型，然後按一下[匯出]按鈕。"));
        m_buttonIO->setText(QStringLiteral("匯出(&E)"));
    }
}

bool TFormFileType::storeType() {
    const QList<QListWidgetItem*> chosen = m_listBoxTypeSelect->selectedItems();
    if (chosen.isEmpty())
        return false;
    const int row = m_listBoxTypeSelect->row(chosen.first());
    m_textFileType = row == 1 ? TextFileSpace : TextFileComma;
    m_buttonIO->setEnabled(true);
    return true;
}

void TFormFileType::ListBoxTypeSelectClick() {
    if (storeType())
        m_buttonIO->setFocus();
}

void TFormFileType::ListBoxTypeSelectDblClick() {
    if (storeType())
        ButtonIOClick();
}

int TFormFileType::openFor(ExchangeDirection direction, const std::vector<int32_t>& listedIds) {
    m_direction = direction;
    m_listedIds = listedIds;
    return prompts().execDialog(this);
}

void TFormFileType::ButtonIOClick() {
    m_wizard->openFor(m_direction, m_textFileType, m_listedIds, m_progressBarIO);
    m_progressBarIO->setVisible(false);
}

void TFormFileType::ButtonCancelClick() {
    reject();
}

} // namespace norvi
