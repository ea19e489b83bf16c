#pragma once

#include "exchange/ColumnMapping.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace norvi {

class TFormAdrBk;
struct TransferProgress;

// "匯入" / "匯出": the two-page wizard of the address book's text-file exchange, created once at start-up
// and shown by the file type chooser. Page 1 names the file, page 2 maps text columns to address book
// fields (import) or chooses the fields to write (export); 完成 runs the transfer.
class TFormFileIO : public QDialog {
    Q_OBJECT
public:
    explicit TFormFileIO(QWidget* parent = nullptr);

    // Set by the window set: the export writes the members this window lists.
    TFormAdrBk* FormAdrBk = nullptr;
    // Lent by the file type chooser while it shows the wizard; the transfers show their progress in it.
    QProgressBar* ProgressBarIO = nullptr;

signals:
    // An import added members and saved the book: the address book window shows the whole book again.
    void bookImported();

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void EditIOPathChange();
    void ButtonBrowseClick();
    void ButtonPreviousClick();
    void ButtonNextDoneClick();
    void ButtonCancelClick();
    void ButtonChMappingClick();
    void ListViewMappingDblClick(QTreeWidgetItem* item);
    void ListViewMappingItemChanged(QTreeWidgetItem* item, int column);

private:
    void FormShow();
    bool importMode() const;
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

    int m_page = 1;
    char m_delimiter = ',';
    bool m_pathChanged = false;
    std::array<int, 3> m_columnCodes{};
    ColumnMapping m_mapping;
    bool m_filling = false; // the list is being filled: its check boxes are not the user's

    QLabel* m_label1;
    QStackedWidget* m_pages;
    QLineEdit* m_editIOPath;
    QPushButton* m_buttonBrowse;
    QTreeWidget* m_listViewMapping;
    QPushButton* m_buttonChMapping;
    QPushButton* m_buttonPrevious;
    QPushButton* m_buttonNextDone;
};

} // namespace norvi
