#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/exchange/ExchangeState.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace norvi {

class TFormFileIO;

// The file type chooser of the address book import and export, created once at start-up with its wizard.
// openFor() shows it for one direction; it asks for the kind of text file and shows the wizard. Its
// progress bar shows the transfer while the wizard is hidden.
class TFormFileType : public QDialog {
    Q_OBJECT
public:
    // The wizard browses from `startDir` until a file is named.
    TFormFileType(AddressBook& book, const QString& startDir, QWidget* parent = nullptr);

    // Shows the chooser modally; an export writes the members `listedIds` names. Returns its result.
    int openFor(ExchangeDirection direction, const std::vector<int32_t>& listedIds = {});

    QProgressBar* progressBar() const { return m_progressBarIO; }
    TFormFileIO& wizard() { return *m_wizard; }

signals:
    // The wizard imported members and saved the book.
    void bookImported();

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void ListBoxTypeSelectClick();
    void ListBoxTypeSelectDblClick();
    void ButtonIOClick();
    void ButtonCancelClick();

private:
    void FormShow();
    bool storeType(); // false while no type is chosen

    ExchangeDirection m_direction = ExchangeDirection::Import;
    int m_textFileType = TextFileComma;
    std::vector<int32_t> m_listedIds;
    TFormFileIO* m_wizard;
    QLabel* m_label1;
    QListWidget* m_listBoxTypeSelect;
    QPushButton* m_buttonIO;
    QProgressBar* m_progressBarIO;
};

} // namespace norvi
