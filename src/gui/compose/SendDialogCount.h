#pragma once

#include "core/compose/RecipientLists.h"
#include "core/compose/SegmentMessage.h"

#include <QObject>

#include <cstdint>

class QDialog;
class QTimer;

namespace norvi {

class RecipientsBox;
class SendDialogForm;

// What the send dialog's message makes: the count of short messages (for the message, or for the selected
// list-file row with its own text), the notes on list rows whose own texts replace or outgrow the message,
// and 預覽, what each recipient gets.
class SendDialogCount : public QObject {
    Q_OBJECT
public:
    SendDialogCount(SendDialogForm& form, RecipientsBox& recipients, QDialog* dialog);

    void Recount();
    // Finds the list rows whose own texts are too long for six short messages: when the list, the
    // message type or (with 替代簡訊) the message changes, not when the recipient field does.
    void findOverlongRows();
    // LabelListText shows while such a row would send its text instead of the message (一般簡訊);
    // LabelRowsTooLong while list rows' own texts are cut after six short messages.
    void updateListTextNote();
    // The message's own count, as when no list-file row is selected.
    void showMessageCount();

private:
    void MemoSMChange();
    void RadioButtonNormalMsgClick();
    void RadioButtonReplaceMsgClick();
    void SpeedButtonPreviewClick();
    void RichEditMTMouseUp();
    // Step 2 of the recount and the click on an entry: a selected list-file row with its own text shows
    // its own count. False when the selection is no such row.
    bool showSelectedRowCount();
    void showCount(int count, int droppedCharacters = 0);
    bool selectedRowSegments(Segments* segments) const;
    // The first list-file row of the field whose own text replaces the message, or -1.
    int32_t firstRowWithText() const;

    SendDialogForm& m_form;
    RecipientsBox& m_recipients;
    QDialog* m_dialog;

    int m_msgCount = 1;
    int m_droppedCharacters = 0; // of the typed message, beyond six short messages
    Segments m_msgSegments{};
    int m_rowCount = 1;
    Segments m_rowSegments{};
    OverlongRows m_overlongRows;       // of the loaded list file, with the message and type as they stand
    QTimer* m_overlongTimer = nullptr; // a pause in typing a 替代簡訊 message looks again
};

} // namespace norvi
