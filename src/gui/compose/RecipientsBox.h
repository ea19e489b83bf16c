#pragma once

#include "core/compose/RecipientField.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/RecipientRecords.h"
#include "core/compose/SendSummary.h"

#include <QObject>

#include <vector>

class QDialog;

namespace norvi {

class AddressBook;
class JobSupervisor;
class SendDialogForm;

// The send dialog's recipient field and what it was read into: the entries typed, picked (受訊者：) or
// loaded from a list file (上載...), the questions about numbers typed with the wrong separator and about
// names of the address book, the selection of an entry the summary named, and the field's growth with
// its text. Found in the dialog by its objectName, RecipientsBox.
class RecipientsBox : public QObject {
    Q_OBJECT
public:
    RecipientsBox(SendDialogForm& form, AddressBook& book, JobSupervisor& jobs, QDialog* dialog);

    // Empties RecipientList and refills it from the recipient field in field order; list-file rows
    // (kind 1) are taken only with `keepListRows`. Returns the number of entries.
    int ParseRecipientField(bool keepListRows);
    // Writes RecipientList into the recipient field, replacing its text, then empties RecipientList.
    void RenderRecipientField();
    // What the field and the last list file were read into: RecipientList between a parse and a render,
    // and the list file's rows until the next file replaces them.
    ParsedRecipients& recipients() { return m_parsed; }
    const ParsedRecipients& recipients() const { return m_parsed; }
    // Where each entry ParseRecipientField read stands in the field, in RecipientList's order.
    const std::vector<FieldSpan>& entrySpans() const { return m_entrySpans; }
    // A row of the loaded list file has a second column.
    bool listHasText() const { return m_listHasText; }

    // Numbers typed into one recipient with "," or spaces between them: the user learns that ";" separates
    // recipients and is offered each number as a recipient of its own, which the field then shows.
    void offerSeparatedNumbers();
    // Plain text that is the name of one member or group: the user is offered the entry instead, one
    // question each, and the field shows the entries taken.
    void offerBookEntries();
    // After 取消 in a summary that named recipients that are no number, that a template leaves a field empty for,
    // or whose message is blank, the first of them is selected.
    void selectFirstNamed(const SendQueueResult& queued);

signals:
    // A list file's rows were read, before the field shows them.
    void listFileRead();
    // The picker or a list file replaced the field's entries: no entry is selected any more.
    void fieldReplaced();

private:
    void SpeedButtonMTClick();
    void SpeedButtonLoadMTClick();
    void LoadRecipientFile();
    void RichEditMTResizeRequest(int height);
    void RichEditMTUnmappable(const QString& character);
    void selectEntry(int index);
    void warn(const QString& text);

    SendDialogForm& m_form;
    AddressBook& m_book;
    JobSupervisor& m_jobs;
    QDialog* m_dialog;
    int m_mtHeight = 0;
    ParsedRecipients m_parsed;
    std::vector<FieldSpan> m_entrySpans;
    bool m_listHasText = false;
};

} // namespace norvi
