#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/compose/ComposeState.h"
#include "core/compose/RecipientField.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/RecipientRecords.h"
#include "core/compose/SegmentMessage.h"
#include "core/compose/SendSummary.h"
#include "core/shared/Config.h"
#include "core/workers/JobOwner.h"

#include <QDialog>
#include <QList>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QRadioButton;
class QToolButton;
class QWidget;

namespace norvi {

class JobSupervisor;
class RichEditMT;
class SendLogKeeper;

// Where the send dialog was opened from, which decides what it prepares on opening and keeps on closing.
enum class SendOpener {
    Tools,       // 發訊 of the main window: the last message text comes back
    SendLog,     // 原訊息發訊 of the send log's pop-up: the row's text instead
    AddressBook, // 發訊 of the address book: the chosen entries join the field and stay there on closing
};

// "發送訊息": the send dialog, created once at start-up and opened modally by the main window (發訊), the
// send log's pop-up (原訊息發訊, with the row's text) and the address book (發訊, with the chosen
// entries). The user names recipients in the recipient field, writes the message, may book a reservation
// up to six days ahead or limit the message's validity, previews the short messages and sends: 傳送
// checks the input in a fixed order, builds the run (one SendRun value, moved into the worker) and hands it to
// the job supervisor; the progress window follows the run above the dialog, and confirming its end closes the
// dialog.
//
// The dialog is the send worker's owner window: it answers the worker's questions through JobOwner.
class TFormSendSMS : public QDialog, public JobOwner {
    Q_OBJECT
public:
    // `sendLog` takes the run's rows and offers to clear them first; `jobs` runs the send, which logs in as
    // `config` stands when 傳送 is pressed.
    TFormSendSMS(SendLogKeeper& sendLog, JobSupervisor& jobs, AddressBook& book, const Config& config,
                 QWidget* parent = nullptr);
    ~TFormSendSMS() override;

    // Shows the dialog modally as `opener` wants it: `text` replaces the message for the send log's
    // 原訊息發訊, `entries` join the recipient field after what it holds for the address book's 發訊.
    // Returns the dialog's result.
    int openFor(SendOpener opener, const QString& text = QString(), const std::vector<sMtData>& entries = {});
    // The address book closed: the entries it gave stay no longer.
    void clearRecipients();

    // Empties RecipientList and refills it from the recipient field in field order; list-file rows
    // (kind 1) are taken only with `keepListRows`. Returns the number of entries.
    int ParseRecipientField(bool keepListRows);
    // Writes RecipientList into the recipient field, replacing its text, then empties RecipientList.
    void RenderRecipientField();
    // What the field and the last list file were read into: RecipientList between a parse and a render,
    // and the list file's rows until the next file replaces them.
    ParsedRecipients& recipients() { return m_parsed; }

    // The message text, as the send log's 原訊息發訊 puts a row's text there before opening the dialog.
    void setMessageText(const QString& text);
    QString messageText() const;
    QString lastText() const { return m_lastText; }

    // The state the dialog keeps, for the tests and the windows that open it.
    bool insertMode() const;
    int msgCount() const { return m_msgCount; }
    int rowCount() const { return m_rowCount; }
    int totalCount() const { return m_totalCount; }
    int mtBaseHeight() const { return m_mtBaseHeight; }
    int mtHeight() const { return m_mtHeight; }
    int lastSelStart() const { return m_lastSelStart; }
    int lastSelLength() const { return m_lastSelLength; }
    QString orderTime() const { return m_orderTime; }
    int limitMinutes() const { return m_limitMinutes; }

    // JobOwner: the worker of a run asks after transport failures.
    void closeForm() override;
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;
    bool continueAfterTransportFailures(int failures, WorkerMode mode) override;

signals:
    // A send run starts with 傳送後追蹤結果 checked: its results are to be followed up once it is over.
    void followUpRequested();

public slots:
    // FormClose: the recipient field is emptied unless the address book opened the dialog (its 發訊 adds to
    // what the field holds). A run's end closes the dialog this way as well.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void SpeedButtonMTClick();
    void SpeedButtonLoadMTClick();
    void RadioButtonSendNowClick();
    void RadioButtonSendOrderClick();
    void CheckBoxExpTimeClick();
    void ComboBoxOTYearChange();
    void ComboBoxOTMonthChange();
    void MemoSMChange();
    void RadioButtonNormalMsgClick();
    void RadioButtonReplaceMsgClick();
    void SpeedButtonPreviewClick();
    void ButtonSendClick();
    void ButtonCancelClick();
    void RichEditMTMouseUp();
    void RichEditMTResizeRequest(int height);
    void RichEditMTUnmappable(const QString& character);

private:
    void buildControls();
    void layOutControls();
    void FormShow();
    void fillReservationDropDowns();
    void fillDays(int year, int month, int day);
    void setReservationEnabled(bool enabled);
    void setLimitEnabled(bool enabled);
    void Recount();
    // Step 2 of the recount and the click on an entry: a selected list-file row with its own text shows
    // its own count. False when the selection is no such row.
    bool showSelectedRowCount();
    void showCount(int count, int droppedCharacters = 0);
    void LoadRecipientFile();
    // Step 8 of 傳送: the run is built, the dialog gives the screen to the progress window, the worker starts.
    void startRun(const GatewayTarget& gateway, const QByteArray& message);
    // Numbers typed into one recipient with "," or spaces between them: the user learns that ";" separates
    // recipients and is offered each number as a recipient of its own, which the field then shows.
    void offerSeparatedNumbers();
    // Plain text that is the name of one member or group: the user is offered the entry instead, one
    // question each, and the field shows the entries taken.
    void offerBookEntries();
    // The summary before the send (TFormSendSummary): fills SendQueue with the run as answered; false when
    // nothing is to be sent (refused, or 取消 in the summary).
    bool askSummary(const ComposeInput& input, std::list<sSendContent>& SendQueue, SendQueueResult* queued,
                    SendSummary* summary);
    void logSummaryChoices(const SendQueueResult& queued, const SendSummary& summary, const SummarySchedule& taken);
    // After 取消 in a summary that named recipients that are no number, or that a template leaves a field empty
    // for, the first of them is selected.
    void selectFirstNamed(const SendQueueResult& queued);
    void selectEntry(int index);
    bool selectedRowSegments(Segments* segments) const;
    // The first list-file row of the field whose own text replaces the message, or -1.
    int32_t firstRowWithText() const;
    // LabelListText shows while such a row would send its text instead of the message (一般簡訊);
    // LabelRowsTooLong while list rows' own texts are cut after six short messages.
    void updateListTextNote();
    // Finds the list rows whose own texts are too long for six short messages: when the list, the
    // message type or (with 替代簡訊) the message changes, not when the recipient field does.
    void findOverlongRows();
    void warn(const QString& text);

    SendLogKeeper& m_sendLog;
    JobSupervisor& m_jobs;
    AddressBook& m_book;
    const Config& m_config;
    SendOpener m_opener = SendOpener::Tools;

    // Controls, named as the form names them.
    QToolButton* SpeedButtonMT = nullptr;
    RichEditMT* m_richEditMT = nullptr; // RichEditMT
    QToolButton* SpeedButtonLoadMT = nullptr;
    QRadioButton* RadioButtonSendNow = nullptr;
    QRadioButton* RadioButtonSendOrder = nullptr;
    QComboBox* ComboBoxOTYear = nullptr;
    QComboBox* ComboBoxOTMonth = nullptr;
    QComboBox* ComboBoxOTDay = nullptr;
    QComboBox* ComboBoxOTHour = nullptr;
    QComboBox* ComboBoxOTMinute = nullptr;
    QLabel* m_orderLabels[5] = {};
    QCheckBox* CheckBoxExpTime = nullptr;
    QCheckBox* CheckBoxFollowUp = nullptr; // 傳送後追蹤結果
    QComboBox* ComboBoxExpHour = nullptr;
    QComboBox* ComboBoxExpMinute = nullptr;
    QLabel* m_expLabels[2] = {};
    QWidget* PanelMsgType = nullptr;
    QRadioButton* RadioButtonNormalMsg = nullptr;
    QRadioButton* RadioButtonReplaceMsg = nullptr;
    QLabel* LabelMsgNo = nullptr;
    QToolButton* SpeedButtonPreview = nullptr;
    QLabel* LabelMemo = nullptr;
    QLabel* LabelListText = nullptr;
    QLabel* LabelRowsTooLong = nullptr;
    QPlainTextEdit* MemoSM = nullptr;
    QPushButton* ButtonSend = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // The dialog's fields.
    int m_mtBaseHeight = 0;
    int m_mtHeight = 0;
    int m_lastSelStart = 0;
    int m_lastSelLength = 0;
    int m_msgCount = 1;
    int m_droppedCharacters = 0; // of the typed message, beyond six short messages
    Segments m_msgSegments{};
    int m_totalCount = 0;
    int m_rowCount = 1;
    Segments m_rowSegments{};
    QString m_lastText;
    QString m_orderTime;
    int m_limitMinutes = 0;

    ParsedRecipients m_parsed;
    // Where each entry ParseRecipientField read stands in the field, in RecipientList's order.
    std::vector<FieldSpan> m_entrySpans;
    bool m_listHasText = false;        // a row of the loaded list file has a second column
    OverlongRows m_overlongRows;       // of the loaded list file, with the message and type as they stand
    QTimer* m_overlongTimer = nullptr; // a pause in typing a 替代簡訊 message looks again

    bool m_fillingDropDowns = false;
};

} // namespace norvi
