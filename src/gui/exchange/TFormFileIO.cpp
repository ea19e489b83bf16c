#include "gui/exchange/TFormFileIO.h"
#include "gui/shared/FontRows.h"

#include "core/addressbook/BookFile.h"
#include "core/exchange/AddressSheet.h"
#include "core/exchange/AddressTransfer.h"
#include "core/exchange/ExchangePath.h"
#include "core/exchange/ExchangeState.h"
#include "core/shared/Big5.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/OpLog.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SystemErrorText.h"
#include "gui/exchange/TFormChMapping.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvi {

namespace {

// A line-level problem of a transfer, for the record: the message area and the day's operation log.
void reportLine(const QString& line) {
    const QByteArray text = big5(line);
    ShowMsgLine(text);
    WriteOpLog(text);
}

// Label1 names the control of the page shown. The controls sit on the pages, not beside the label, so
// screen readers would not find the label by themselves: the name is given to the control as well.
void nameByLabel(QLabel* label, const QString& text, QWidget* control) {
    label->setText(text);
    label->setBuddy(control);
    QString plain = text;
    plain.remove(QLatin1Char('&'));
    control->setAccessibleName(plain);
}

} // namespace

TFormFileIO::TFormFileIO(AddressBook& book, const QString& startDir, QWidget* parent)
    : QDialog(parent), m_book(book), m_startDir(startDir) {
    setObjectName(QStringLiteral("TFormFileIO"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("匯入"));

    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_pages = new QStackedWidget(this);

    auto* pathPage = new QWidget(m_pages);
    m_editIOPath = makeEdit(pathPage, "EditIOPath");
    m_buttonBrowse = makeButton(pathPage, QStringLiteral("瀏覽(&R)..."), "ButtonBrowse");
    // Why 下一步 waits, under the name it is about; a missing export folder can be made from here.
    m_labelPathProblem = new QLabel(pathPage);
    m_labelPathProblem->setObjectName(QStringLiteral("LabelPathProblem"));
    m_labelPathProblem->setTextFormat(Qt::PlainText);
    m_labelPathProblem->setWordWrap(true);
    m_labelPathProblem->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_buttonMakeFolder = makeButton(pathPage, QStringLiteral("建立資料夾(&M)"), "ButtonMakeFolder");
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_editIOPath, 1);
    pathRow->addWidget(m_buttonBrowse);
    auto* problemRow = new QHBoxLayout;
    problemRow->addWidget(m_labelPathProblem, 1);
    problemRow->addWidget(m_buttonMakeFolder, 0, Qt::AlignTop);
    auto* pathLayout = new QVBoxLayout(pathPage);
    pathLayout->setContentsMargins(0, 0, 0, 0);
    pathLayout->addLayout(pathRow);
    pathLayout->addLayout(problemRow);
    pathLayout->addStretch(1);

    auto* mappingPage = new QWidget(m_pages);
    m_listViewMapping = new QTreeWidget(mappingPage);
    useFontRows(m_listViewMapping);
    m_listViewMapping->setObjectName(QStringLiteral("ListViewMapping"));
    m_listViewMapping->setColumnCount(2);
    m_listViewMapping->setHeaderLabels({QStringLiteral("文字欄位"), QStringLiteral("通訊錄欄位")});
    m_listViewMapping->setRootIsDecorated(false);
    m_listViewMapping->setItemsExpandable(false);
    m_listViewMapping->setAllColumnsShowFocus(true);
    m_listViewMapping->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listViewMapping->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listViewMapping->setColumnWidth(0, 180);
    // Whether the first line names the columns is guessed from the file and the user's to change.
    m_checkBoxHeader = new QCheckBox(QStringLiteral("第一行是欄位名稱(&H)"), mappingPage);
    m_checkBoxHeader->setObjectName(QStringLiteral("CheckBoxHeader"));
    m_buttonChMapping = makeButton(mappingPage, QStringLiteral("變更對應(&C)..."), "ButtonChMapping");
    auto* changeRow = new QHBoxLayout;
    changeRow->addWidget(m_checkBoxHeader);
    changeRow->addStretch(1);
    changeRow->addWidget(m_buttonChMapping);
    auto* mappingLayout = new QVBoxLayout(mappingPage);
    mappingLayout->setContentsMargins(0, 0, 0, 0);
    mappingLayout->addWidget(m_listViewMapping, 1);
    mappingLayout->addLayout(changeRow);

    m_pages->addWidget(pathPage);
    m_pages->addWidget(mappingPage);

    m_buttonPrevious = makeButton(this, QStringLiteral("< 上一步(&B)"), "ButtonPrevious");
    m_buttonNextDone = makeButton(this, QStringLiteral("下一步(&N) >"), "ButtonNextDone");
    m_buttonNextDone->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_buttonPrevious);
    buttons->addWidget(m_buttonNextDone);
    buttons->addSpacing(8);
    buttons->addWidget(buttonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    resize(440, 300);

    connect(m_editIOPath, &QLineEdit::textChanged, this, &TFormFileIO::EditIOPathChange);
    connect(m_buttonBrowse, &QPushButton::clicked, this, &TFormFileIO::ButtonBrowseClick);
    connect(m_buttonMakeFolder, &QPushButton::clicked, this, &TFormFileIO::ButtonMakeFolderClick);
    connect(m_buttonPrevious, &QPushButton::clicked, this, &TFormFileIO::ButtonPreviousClick);
    connect(m_buttonNextDone, &QPushButton::clicked, this, &TFormFileIO::ButtonNextDoneClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormFileIO::ButtonCancelClick);
    connect(m_buttonChMapping, &QPushButton::clicked, this, &TFormFileIO::ButtonChMappingClick);
    connect(m_listViewMapping, &QTreeWidget::itemDoubleClicked, this, &TFormFileIO::ListViewMappingDblClick);
    connect(m_listViewMapping, &QTreeWidget::itemChanged, this, &TFormFileIO::ListViewMappingItemChanged);
    connect(m_checkBoxHeader, &QCheckBox::toggled, this, &TFormFileIO::CheckBoxHeaderClick);
}

int TFormFileIO::openFor(ExchangeDirection direction, int textFileType, const std::vector<int32_t>& listedIds,
                         QProgressBar* bar) {
    m_direction = direction;
    m_textFileType = textFileType;
    m_listedIds = listedIds;
    ProgressBarIO = bar;
    const int result = prompts().execDialog(this);
    ProgressBarIO = nullptr;
    return result;
}

bool TFormFileIO::importMode() const {
    return m_direction == ExchangeDirection::Import;
}

QString TFormFileIO::typedPath() const {
    return TypedExchangePath(m_editIOPath->text());
}

void TFormFileIO::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFormFileIO::FormShow() {
    m_delimiter = ExchangeDelimiter(m_textFileType);
    m_columnCodes = {FieldNone, FieldNone, FieldNone};
    setWindowTitle(importMode() ? QStringLiteral("匯入") : QStringLiteral("匯出"));
    m_editIOPath->clear();
    m_mapping = ColumnMapping();
    m_records = AddressRecords();
    fillMappingList();
    m_pathChanged = true;
    showPathPage();
    EditIOPathChange();
    m_editIOPath->setFocus();
}

void TFormFileIO::showPathPage() {
    m_page = 1;
    nameByLabel(m_label1,
                importMode() ? QStringLiteral("請選擇要匯入的檔案(&C)：") : QStringLiteral("另存匯出的檔案(&S)："),
                m_editIOPath);
    m_pages->setCurrentIndex(0);
    m_buttonChMapping->setVisible(false);
    m_checkBoxHeader->setVisible(false);
    m_buttonPrevious->setEnabled(false);
    m_buttonNextDone->setText(QStringLiteral("下一步(&N) >"));
}

void TFormFileIO::showMappingPage() {
    m_page = 2;
    nameByLabel(m_label1,
                importMode() ? QStringLiteral("請選擇您要匯入的欄位(&M)：")
                             : QStringLiteral("請選擇您要匯出的欄位(&S)："),
                m_listViewMapping);
    m_pages->setCurrentIndex(1);
    m_buttonPrevious->setEnabled(true);
    m_buttonNextDone->setText(QStringLiteral("完成"));
    m_buttonNextDone->setEnabled(true);
    // Export lists the fields alone; the list takes the room of the hidden button.
    m_listViewMapping->setHeaderHidden(!importMode());
    m_listViewMapping->setColumnHidden(1, !importMode());
    m_buttonChMapping->setVisible(importMode());
    m_buttonChMapping->setEnabled(importMode() && m_mapping.size() > 0);
    m_checkBoxHeader->setVisible(importMode());
    m_checkBoxHeader->setEnabled(importMode() && !m_records.records.empty());
    if (m_listViewMapping->topLevelItemCount() > 0 && !m_listViewMapping->currentItem())
        m_listViewMapping->setCurrentItem(m_listViewMapping->topLevelItem(0));
    m_listViewMapping->setFocus();
}

void TFormFileIO::EditIOPathChange() {
    m_pathChanged = true;
    m_pathChosen = false;
    const ExchangePathCheck check = CheckExchangePath(m_direction, m_editIOPath->text());
    m_buttonNextDone->setEnabled(check.usable);
    m_labelPathProblem->setText(check.problem);
    m_labelPathProblem->setVisible(!check.problem.isEmpty());
    m_missingFolder = check.missingFolder;
    m_buttonMakeFolder->setVisible(!m_missingFolder.isEmpty());
}

void TFormFileIO::ButtonMakeFolderClick() {
    QString reason;
    if (!CreateFolders(m_missingFolder, &reason)) {
        prompts().okBox(this, Prompts::Icon::Error, windowTitle(),
                        WithReason(QStringLiteral("無法建立資料夾「%1」").arg(m_missingFolder), reason));
        return;
    }
    EditIOPathChange();
    m_editIOPath->setFocus();
}

void TFormFileIO::ButtonBrowseClick() {
    const QString current = typedPath();
    const QString folder = current.isEmpty() ? m_startDir : QFileInfo(current).absolutePath();
    int filter = ExchangeInitialFilter(m_textFileType);
    if (importMode()) {
        const QString name =
            prompts().openFileNameWithFilter(this, QStringLiteral("開啟"), ExchangeFileFilter(), folder, &filter);
        if (name.isEmpty())
            return;
        m_editIOPath->setText(name);
    } else {
        const QString proposed = current.isEmpty() ? folder : current;
        const QString name =
            prompts().saveFileNameWithFilter(this, QStringLiteral("另存新檔"), ExchangeFileFilter(), proposed, &filter);
        if (name.isEmpty())
            return;
        m_editIOPath->setText(WithExportExtension(name, filter));
    }
    m_pathChosen = true;
}

void TFormFileIO::ButtonPreviousClick() {
    // The path that led to page 2 still stands.
    showPathPage();
    m_buttonNextDone->setEnabled(true);
}

void TFormFileIO::ButtonNextDoneClick() {
    if (m_page == 2) {
        if (importMode())
            finishImport();
        else
            finishExport();
        return;
    }
    // A name typed without an extension is saved with the type's, as 瀏覽 gives it (where the user can also
    // choose to have none).
    if (!importMode() && !m_pathChosen)
        m_editIOPath->setText(WithTypedExtension(m_editIOPath->text(), ExchangeExtension(m_textFileType)));
    if (m_pathChanged) {
        // A file that cannot be read keeps the wizard on the first page rather than half-built.
        if (!readMapping())
            return;
        fillMappingList();
        m_pathChanged = false;
    }
    showMappingPage();
}

bool TFormFileIO::readMapping() {
    if (!importMode()) {
        m_mapping = ColumnMapping::forExport();
        return true;
    }
    QString error;
    if (!ReadAddressFile(typedPath(), m_delimiter, HeaderChoice::Auto, &m_records, &error)) {
        prompts().okBox(this, Prompts::Icon::Error, QStringLiteral("檔案匯入"), error);
        return false;
    }
    m_mapping = ColumnMapping::fromRecords(m_records);
    const QSignalBlocker quiet(m_checkBoxHeader);
    m_checkBoxHeader->setChecked(m_records.header);
    return true;
}

void TFormFileIO::CheckBoxHeaderClick() {
    if (m_records.records.empty())
        return;
    m_records.header = m_checkBoxHeader->isChecked();
    m_mapping = ColumnMapping::fromRecords(m_records);
    fillMappingList();
    m_buttonChMapping->setEnabled(m_mapping.size() > 0);
}

void TFormFileIO::fillMappingList() {
    m_filling = true;
    const int current = m_listViewMapping->indexOfTopLevelItem(m_listViewMapping->currentItem());
    m_listViewMapping->clear();
    for (const MappingRow& row : m_mapping.rows()) {
        auto* item = new QTreeWidgetItem(m_listViewMapping);
        item->setText(0, row.caption);
        item->setText(1, FieldDisplayName(row.code));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    }
    if (current >= 0 && current < m_listViewMapping->topLevelItemCount())
        m_listViewMapping->setCurrentItem(m_listViewMapping->topLevelItem(current));
    m_filling = false;
}

void TFormFileIO::ListViewMappingItemChanged(QTreeWidgetItem* item, int column) {
    if (m_filling || column != 0)
        return;
    const int row = m_listViewMapping->indexOfTopLevelItem(item);
    if (row < 0 || row >= m_mapping.size())
        return;
    const bool checked = item->checkState(0) == Qt::Checked;
    if (importMode() && checked && m_mapping.row(row).code == FieldNone) {
        // A column without a field cannot be imported: the check goes and the user is asked for a field.
        m_filling = true;
        item->setCheckState(0, Qt::Unchecked);
        m_filling = false;
        m_listViewMapping->setCurrentItem(item);
        changeMapping(row);
        return;
    }
    m_mapping.setChecked(row, checked);
}

void TFormFileIO::ListViewMappingDblClick(QTreeWidgetItem* item) {
    if (!importMode())
        return;
    const int row = m_listViewMapping->indexOfTopLevelItem(item);
    if (row >= 0)
        changeMapping(row);
}

void TFormFileIO::ButtonChMappingClick() {
    if (m_mapping.size() == 0)
        return;
    int row = m_listViewMapping->indexOfTopLevelItem(m_listViewMapping->currentItem());
    if (row < 0)
        row = 0;
    m_listViewMapping->setCurrentItem(m_listViewMapping->topLevelItem(row));
    changeMapping(row);
}

void TFormFileIO::changeMapping(int row) {
    const MappingRow& current = m_mapping.row(row);
    TFormChMapping dialog(this, current.caption, current.code, current.checked);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return;
    m_mapping.assign(row, dialog.code(), dialog.imported());
    fillMappingList();
}

QWidget* TFormFileIO::shownOver() const {
    return ProgressBarIO ? ProgressBarIO->window() : parentWidget();
}

TransferProgress TFormFileIO::progress() {
    QProgressBar* bar = ProgressBarIO;
    TransferProgress shown;
    if (!bar)
        return shown;
    shown.start = [bar](int maximum) {
        bar->setRange(0, std::max(maximum, 1));
        bar->setValue(0);
        bar->setVisible(true);
    };
    shown.step = [bar] { bar->setValue(bar->value() + 1); };
    return shown;
}

void TFormFileIO::endProgress() {
    if (ProgressBarIO)
        ProgressBarIO->setVisible(false);
}

void TFormFileIO::finishImport() {
    m_columnCodes = m_mapping.columnCodes();
    if (!MapsNameOrNumber(m_columnCodes)) {
        prompts().okBox(this, Prompts::Icon::Warning, QStringLiteral("檔案匯入"), NoNameOrNumberText());
        return;
    }
    const QString path = typedPath();
    AddressRecords records;
    QString error;
    if (!ReadAddressFile(path, m_delimiter, m_checkBoxHeader->isChecked() ? HeaderChoice::Yes : HeaderChoice::No,
                         &records, &error)) {
        prompts().okBox(this, Prompts::Icon::Error, QStringLiteral("檔案匯入"), error);
        return;
    }
    hide();
    const ImportSummary summary = ImportAddressRecords(m_book, records, path, m_columnCodes, reportLine, progress());
    // On disk before the user is told it is done: a program killed while the box stands keeps the import.
    const AddressBookResult saved = SaveAddressBook(m_book);
    QString done = ImportDoneText() + QLatin1Char('\n') + summary.text();
    if (summary.skipped > summary.named.size())
        done += QStringLiteral("\n（每一行的原因見訊息視窗）");
    prompts().okBox(shownOver(), summary.skipped > 0 ? Prompts::Icon::Warning : Prompts::Icon::Information,
                    QStringLiteral("檔案匯入"), done);
    endProgress();
    emit bookImported();
    if (!saved.message.isEmpty())
        prompts().notice(shownOver(), saved.ok ? Prompts::Icon::Warning : Prompts::Icon::Error,
                         QStringLiteral("Norvi簡訊服務軟體"), saved.message);
    accept();
}

void TFormFileIO::finishExport() {
    if (!m_mapping.anyChecked()) {
        prompts().okBox(this, Prompts::Icon::Warning, QStringLiteral("檔案匯出"), NoExportFieldText());
        return;
    }
    const QString path = typedPath();
    if (const QString refusal = OutputRefusal(path, m_startDir); !refusal.isEmpty()) {
        prompts().okBox(this, Prompts::Icon::Error, QStringLiteral("檔案匯出"), refusal);
        return;
    }
    if (QFileInfo::exists(path) &&
        prompts().message(this, Prompts::Icon::Warning, Prompts::Buttons::YesNo, windowTitle(),
                          path + QStringLiteral("檔案已經存在。\n您要取代它嗎？")) != Prompts::Answer::Yes)
        return;
    hide();
    const ExportResult result =
        ExportAddressText(m_book, path, m_listedIds, m_delimiter, m_mapping.exportFlags(), progress());
    if (result.ok) {
        prompts().okBox(shownOver(), Prompts::Icon::Information, QStringLiteral("檔案匯出"), ExportDoneText());
    } else {
        reportLine(result.message);
        prompts().okBox(shownOver(), Prompts::Icon::Error, QStringLiteral("檔案匯出"), result.message);
    }
    endProgress();
    accept();
}

void TFormFileIO::ButtonCancelClick() {
    reject();
}

} // namespace norvi
