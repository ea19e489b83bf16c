#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace norvi {

class TFormFileIO;

// The file type chooser of the address book import and export, created once at start-up. The address
// book window sets ExchangeMode and shows it; it asks for the kind of text file and shows the wizard.
// Its progress bar shows the transfer while the wizard is hidden.
class TFormFileType : public QDialog {
    Q_OBJECT
public:
    explicit TFormFileType(QWidget* parent = nullptr);

    // Set by the window set.
    TFormFileIO* FormFileIO = nullptr;

    QProgressBar* progressBar() const { return m_progressBarIO; }

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

    QLabel* m_label1;
    QListWidget* m_listBoxTypeSelect;
    QPushButton* m_buttonIO;
    QProgressBar* m_progressBarIO;
};

} // namespace norvi
