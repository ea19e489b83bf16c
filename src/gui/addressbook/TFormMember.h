#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookEdits.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace norvi {

// The member editor: name, description and the mobile numbers, one of them the default. Created for one
// use by its caller, which sets `record` to a member of the book (or leaves it empty for a new member) and
// shows it modally. On OK the member is in the book and the file, and `record` points at it.
class TFormMember : public QDialog {
    Q_OBJECT
public:
    explicit TFormMember(AddressBook& book, QWidget* parent = nullptr);

    const sMember* record = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void ButtonAddMsisdnClick();
    void ButtonEditMsisdnClick();
    void ButtonRemoveMsisdnClick();
    void ButtonSetDefMsisdnClick();
    void ButtonOkClick();
    void ListViewMsisdnEdited(QTreeWidgetItem* item, int column);

private:
    void FormShow();
    // Asks about a number as the rules say; true when it may be stored.
    bool acceptNumber(const QString& number, bool adding);
    bool addTypedNumber();
    void showNumbers(int selectRow = -1);
    QList<int> selectedNumberRows() const;
    void updateButtons();

    AddressBook& m_book;
    NumberList m_numbers;
    bool m_showing = false; // the list is being drawn from m_numbers: its changes are not edits

    QLineEdit *EditName, *EditDesc, *EditMsisdn;
    QTreeWidget* ListViewMsisdn;
    QPushButton *ButtonAddMsisdn, *ButtonEditMsisdn, *ButtonRemoveMsisdn, *ButtonSetDefMsisdn;
    QListWidget* ListBoxBelong;
    QPushButton *ButtonOk, *ButtonCancel;
};

} // namespace norvi
