#pragma once

#include "core/compose/ComposeState.h"
#include "core/compose/ListFileRecords.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SegmentMessage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

// The send dialog's count of short messages and its preview, without the window.
namespace norvi {

// Six short messages never hold more than 930 characters, so the first 1,000 characters of a message
// decide its count; only they are converted, however long the text. A character without a Big5 form is
// counted as one byte here (the send refuses it and names it).
QByteArray CountedText(const QString& message);

// "總共需要 N 通簡訊", and when six short messages cannot hold the whole text, "，超過的 M 個字不會送出".
QString CountLabelText(int count, int droppedCharacters = 0);

// How many characters of `message` the short messages of `segments` (its segmentation) leave out: six
// hold about 930, and the rest of a longer text is not sent.
int DroppedCharacters(const QString& message, const Segments& segments);

// The own message of a list-file row with content, segmented: the content itself, or with "替代簡訊"
// the message text with the row's values filled in.
Segments RowSegments(const QByteArray& content, const QByteArray& messageText, bool replaceFields);

// The rows of a loaded list (rows without a number are never sent) whose own text needs more than six
// short messages: with "替代簡訊" the message with each row's values, else the row's second column. Rows
// without a second column get the message itself, which the count label speaks for.
OverlongRows FindOverlongRows(const std::map<int32_t, sLoadMt>& rows, QByteArrayView messageText, bool replaceFields);

// "N 筆名單的訊息超過 6 通簡訊，超過的部分不會送出，第一筆在第 L 行"; empty when there is none.
QString OverlongRowsText(const OverlongRows& overlong);

// What the preview shows: for each short message "第 k 通" and the message as it is sent (with its part
// header when the text was cut), one line each; then where a text too long for six was cut.
QString PreviewText(const char* block, int count, int droppedCharacters = 0);

// What one entry of the recipient field gets, as the preview shows it: who (the number, the member's or
// group's name, "第 3 行 0912…" for a list line), the message as it is sent, the short messages it makes,
// and the template's placeholders it leaves empty.
struct RecipientPreview {
    QString who;
    QByteArray text;
    Segments segments;
    QList<int> missing;
};
RecipientPreview PreviewRecipient(const ParsedRecipients& parsed, const sMtData& entry, const ComposeInput& input);

// "受訊者 2 / 5：王小明", then the recipient's short messages (PreviewText), and a word on fields left empty.
QString RecipientPreviewText(const RecipientPreview& preview, int index, int count);

} // namespace norvi
