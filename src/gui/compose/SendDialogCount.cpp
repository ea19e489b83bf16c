#include "gui/compose/SendDialogCount.h"

#include "core/compose/MessageCount.h"
#include "core/compose/RecipientField.h"
#include "core/compose/SendValidation.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/SendDialogForm.h"
#include "gui/sendlog/TFormShowMsg.h"
#include "gui/shared/Prompts.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include <cstring>

namespace norvi {

namespace {

constexpr int kOverlongPauseMs = 300;

} // namespace

SendDialogCount::SendDialogCount(SendDialogForm& form, RecipientsBox& recipients, QDialog* dialog)
    : QObject(dialog), m_form(form), m_recipients(recipients), m_dialog(dialog) {
    std::memset(&m_msgSegments, 0, sizeof m_msgSegments);
    std::memset(&m_rowSegments, 0, sizeof m_rowSegments);
    // With 替代簡訊 every key changes every row's text; a list of 100,000 long rows takes a moment to look
    // through, so that is done once typing pauses.
    m_overlongTimer = new QTimer(this);
    m_overlongTimer->setSingleShot(true);
    m_overlongTimer->setInterval(kOverlongPauseMs);
    connect(m_overlongTimer, &QTimer::timeout, this, [this] {
        findOverlongRows();
        updateListTextNote();
    });
    connect(m_form.MemoSM, &QPlainTextEdit::textChanged, this, &SendDialogCount::MemoSMChange);
    connect(m_form.m_richEditMT, &RichEditMT::textChanged, this, &SendDialogCount::updateListTextNote);
    connect(m_form.RadioButtonNormalMsg, &QRadioButton::clicked, this, &SendDialogCount::RadioButtonNormalMsgClick);
    connect(m_form.RadioButtonReplaceMsg, &QRadioButton::clicked, this, &SendDialogCount::RadioButtonReplaceMsgClick);
    connect(m_form.SpeedButtonPreview, &QToolButton::clicked, this, &SendDialogCount::SpeedButtonPreviewClick);
    connect(m_form.m_richEditMT, &RichEditMT::mouseReleased, this, &SendDialogCount::RichEditMTMouseUp);
    connect(&m_recipients, &RecipientsBox::listFileRead, this, &SendDialogCount::findOverlongRows);
    connect(&m_recipients, &RecipientsBox::fieldReplaced, this, &SendDialogCount::showMessageCount);
    Recount();
}

void SendDialogCount::MemoSMChange() {
    Recount();
    // Only 替代簡訊 puts the message into the rows' texts.
    if (m_form.RadioButtonReplaceMsg->isChecked() && m_recipients.listHasText())
        m_overlongTimer->start();
}

void SendDialogCount::RadioButtonNormalMsgClick() {
    Recount();
    findOverlongRows();
    updateListTextNote();
}

void SendDialogCount::RadioButtonReplaceMsgClick() {
    Recount();
    findOverlongRows();
    updateListTextNote();
}

void SendDialogCount::Recount() {
    const QString text = m_form.MemoSM->toPlainText();
    m_msgSegments = segment(CountedText(text));
    m_msgCount = m_msgSegments.count;
    m_droppedCharacters = DroppedCharacters(text, m_msgSegments);
    if (!showSelectedRowCount())
        showCount(m_msgCount, m_droppedCharacters);
}

void SendDialogCount::showCount(int count, int droppedCharacters) {
    m_form.LabelMsgNo->setText(CountLabelText(count, droppedCharacters));
    // The tail of a text too long for six short messages is not sent: the count says so in the warning colour.
    m_form.LabelMsgNo->setStyleSheet(droppedCharacters > 0 ? QStringLiteral("color: #c00000;") : QString());
}

void SendDialogCount::showMessageCount() {
    showCount(m_msgCount, m_droppedCharacters);
}

bool SendDialogCount::selectedRowSegments(Segments* segments) const {
    const QTextCursor cursor = m_form.m_richEditMT->textCursor();
    if (!cursor.hasSelection())
        return false;
    const FieldEntryKey key = m_form.m_richEditMT->keyAt(cursor.selectionStart());
    if (!key.entry || key.kind != KindListRow)
        return false;
    const std::map<int32_t, sLoadMt>& rows = m_recipients.recipients().ListFileRows;
    const auto row = rows.find(key.id);
    if (row == rows.end())
        return false;
    const QByteArray content = getField(row->second.content);
    if (content.isEmpty())
        return false;
    *segments = RowSegments(content, big5(m_form.MemoSM->toPlainText()), m_form.RadioButtonReplaceMsg->isChecked());
    return true;
}

int32_t SendDialogCount::firstRowWithText() const {
    const std::map<int32_t, sLoadMt>& rows = m_recipients.recipients().ListFileRows;
    return m_form.m_richEditMT->firstListRow([&rows](int32_t line) {
        const auto row = rows.find(line);
        return row != rows.end() && row->second.content[0] != '\0';
    });
}

// With 替代簡訊 a row's values fill the message, which stays in use; with 一般簡訊 the row's second column
// is sent instead of it, which a user who typed a message would not expect.
void SendDialogCount::updateListTextNote() {
    // The field is walked only when the loaded list has such rows: a keystroke among many entries stays cheap.
    const bool rowsWithText = m_recipients.listHasText() && firstRowWithText() >= 0;
    m_form.LabelListText->setVisible(m_form.RadioButtonNormalMsg->isChecked() && rowsWithText);
    m_form.LabelRowsTooLong->setVisible(rowsWithText && m_overlongRows.rows > 0);
}

void SendDialogCount::findOverlongRows() {
    m_overlongTimer->stop();
    m_overlongRows = m_recipients.listHasText()
                         ? FindOverlongRows(m_recipients.recipients().ListFileRows, big5(m_form.MemoSM->toPlainText()),
                                            m_form.RadioButtonReplaceMsg->isChecked())
                         : OverlongRows{};
    m_form.LabelRowsTooLong->setText(OverlongRowsText(m_overlongRows));
}

bool SendDialogCount::showSelectedRowCount() {
    if (!selectedRowSegments(&m_rowSegments))
        return false;
    m_rowCount = m_rowSegments.count;
    showCount(m_rowCount);
    return true;
}

void SendDialogCount::RichEditMTMouseUp() {
    showCount(m_msgCount, m_droppedCharacters);
    showSelectedRowCount();
}

// 預覽: what the first recipient gets (or the one selected in the field), with 上一位 and 下一位 to step
// through the others; without recipients, the message itself.
void SendDialogCount::SpeedButtonPreviewClick() {
    if (m_overlongTimer->isActive()) {
        findOverlongRows();
        updateListTextNote();
    }
    const QString tooLong =
        m_form.LabelRowsTooLong->isHidden() ? QString() : QStringLiteral("\n") + m_form.LabelRowsTooLong->text();
    const QTextCursor cursor = m_form.m_richEditMT->textCursor();
    m_recipients.ParseRecipientField(true);
    const ParsedRecipients& parsed = m_recipients.recipients();
    const std::vector<sMtData> entries(parsed.RecipientList.cbegin(), parsed.RecipientList.cend());
    const std::vector<FieldSpan>& spans = m_recipients.entrySpans();
    int first = 0;
    for (int i = 0; cursor.hasSelection() && i < int(spans.size()); ++i) {
        const FieldSpan& span = spans[std::size_t(i)];
        if (cursor.selectionStart() >= span.start && cursor.selectionStart() < span.start + span.length)
            first = i;
    }
    TFormShowMsg viewer(m_dialog);
    viewer.setWindowTitle(QStringLiteral("簡訊預覽"));
    if (entries.empty()) {
        viewer.showText(PreviewText(m_msgSegments.block, m_msgSegments.count, m_droppedCharacters) + tooLong);
    } else {
        const ComposeInput input =
            ComposeInput::fromText(big5(m_form.MemoSM->toPlainText()), m_form.RadioButtonReplaceMsg->isChecked());
        const int count = int(entries.size());
        viewer.showPages(count, first, [&parsed, entries, input, count, tooLong](int i) -> QString {
            return RecipientPreviewText(PreviewRecipient(parsed, entries[std::size_t(i)], input), i, count) + tooLong;
        });
    }
    prompts().execDialog(&viewer);
}

} // namespace norvi
