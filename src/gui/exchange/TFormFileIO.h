#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/exchange/AddressRecords.h"
#include "core/exchange/ColumnMapping.h"
#include "core/exchange/ExchangeState.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace norvi {

struct TransferProgress;

// "匯入" / "匯出": the two-page wizard of the address book's text-file exchange, created once at start-up
// by the file type chooser, which shows it. Page 1 names the file, page 2 maps text columns to address book
// fields (import) or chooses the fields to write (export); 完成 runs the transfer.
class TFormFileIO : public QDialog {
    Q_OBJECT
public:
    // 瀏覽 opens in `startDir` until a file is named.
    TFormFileIO(AddressBook& book, const QString& startDir, QWidget* parent = nullptr);

    // Shows the wizard modally for `direction` and a text file of `textFileType`; an export writes the
    // members `listedIds` names; the transfer shows its progress in `bar` (the chooser's) while the wizard
    // is hidden. Returns the wizard's result.
    int openFor(ExchangeDirection direction, int textFileType, const std::vector<int32_t>& listedIds,
                QProgressBar* bar);

signals:
    // An import added members and saved the book: the address book window shows the whole book again.
    void bookImported();

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void EditIOPathChange();
    void ButtonBrowseClick();
    void ButtonMakeFolderClick();
    void ButtonPreviousClick();
    void ButtonNextDoneClick();
    void ButtonCancelClick();
    void ButtonChMappingClick();
    void ListViewMappingDblClick(QTreeWidgetItem* item);
    void ListViewMappingItemChanged(QTreeWidgetItem* item, int column);
    void CheckBoxHeaderClick();

private:
    void FormShow();
    bool importMode() const;
    QString typedPath() const; // the file the path field names
    void showPathPage();
    void showMappingPage();
    bool readMapping(); // page 2 from the file (import) or the three fields (export)
    void fillMappingList();
    void changeMapping(int row);
    void finishImport();
    void finishExport();
    TransferProgress progress();
    QWidget* shownOver() const; // the window the transfer's boxes belong to while the wizard is hidden
    void endProgress();

    AddressBook& m_book;
    const QString m_startDir;
    ExchangeDirection m_direction = ExchangeDirection::Import;
    int m_textFileType = TextFileComma;
    std::vector<int32_t> m_listedIds;
    QProgressBar* ProgressBarIO = nullptr; // lent by the chooser for one showing
    int m_page = 1;
    char m_delimiter = ',';
    bool m_pathChanged = false;
    std::array<int, 3> m_columnCodes{};
    AddressRecords m_records; // the import file as page 2 read it
    ColumnMapping m_mapping;
    bool m_filling = false; // the list is being filled: its check boxes are not the user's

    QLabel* m_label1;
    QStackedWidget* m_pages;
    QLineEdit* m_editIOPath;
    QPushButton* m_buttonBrowse;
    QLabel* m_labelPathProblem;      // why 下一步 waits
    QPushButton* m_buttonMakeFolder; // shown while the export's folder is missing
    QString m_missingFolder;
    bool m_pathChosen = false; // the name came from 瀏覽's dialog, with the extension its filter gave
    QTreeWidget* m_listViewMapping;
    QCheckBox* m_checkBoxHeader;
    QPushButton* m_buttonChMapping;
    QPushButton* m_buttonPrevious;
    QPushButton* m_buttonNextDone;
};

} // namespace norvi
