#include "core/compose/MessageCount.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"

#include <algorithm>
#include <cstring>

namespace norvi {

namespace {
constexpr qsizetype kCountedCharacters = 1000;
// "k/N-" before each short message of a text that was cut.
constexpr qsizetype kPartHeaderLength = 4;
} // namespace

QByteArray CountedText(const QString& message) {
    qsizetype n = std::min(message.size(), kCountedCharacters);
    if (n > 0 && n < message.size() && message.at(n - 1).isHighSurrogate())
        --n;
    return big5(message.left(n));
}

QString CountLabelText(int count, int droppedCharacters) {
    QString text = QStringLiteral("總共需要 %1 通簡訊").arg(count);
    if (droppedCharacters > 0)
        text += QStringLiteral("，超過的 %1 個字不會送出").arg(droppedCharacters);
    return text;
}

int DroppedCharacters(const QString& message, const Segments& segments) {
    if (segments.count < kSegmentCount)
        return 0;
    // Both sides through the same conversion, so line ends and unmappable characters count alike.
    const qsizetype whole = fromBig5(big5(message)).size();
    qsizetype kept = 0;
    for (int k = 1; k <= segments.count; ++k)
        kept += fromBig5(segmentText(segments.block, k)).size() - kPartHeaderLength;
    return int(std::max<qsizetype>(0, whole - kept));
}

Segments RowSegments(const QByteArray& content, const QByteArray& messageText, bool replaceFields) {
    return segment(replaceFields ? ReplacedMessage(messageText, content, nullptr) : content);
}

OverlongRows FindOverlongRows(const std::map<int32_t, sLoadMt>& rows, QByteArrayView messageText, bool replaceFields) {
    OverlongRows overlong;
    // A template without "$1$" leaves every row its own content; only the others are filled in row by row.
    const bool fill = replaceFields && messageText.contains("$1$");
    for (const auto& [line, row] : rows) {
        if (row.msisdn[0] == '\0' || row.content[0] == '\0')
            continue;
        const QByteArrayView content(row.content, qsizetype(strnlen(row.content, sizeof row.content)));
        if (fill ? NeedsMoreThanSix(ReplacedMessage(messageText, content, nullptr)) : NeedsMoreThanSix(content))
            overlong.add(line);
    }
    return overlong;
}

QString OverlongRowsText(const OverlongRows& overlong) {
    if (overlong.rows == 0)
        return QString();
    QString text = QStringLiteral("%1 筆名單的訊息超過 6 通簡訊，超過的部分不會送出").arg(overlong.rows);
    if (overlong.firstLine >= 0)
        text += QStringLiteral("，第一筆在第 %1 行").arg(qint64(overlong.firstLine) + 1);
    return text;
}

QString PreviewText(const char* block, int count, int droppedCharacters) {
    QStringList lines;
    for (int k = 1; k <= count; ++k) {
        lines << QStringLiteral("第 %1 通").arg(k);
        lines << fromBig5(segmentText(block, k));
    }
    if (droppedCharacters > 0)
        lines << QStringLiteral("（以上為送出的內容，其後 %1 個字超過 6 通簡訊，不會送出）").arg(droppedCharacters);
    return lines.join(QStringLiteral("\n"));
}

RecipientPreview PreviewRecipient(const ParsedRecipients& parsed, const sMtData& entry, const ComposeInput& input) {
    RecipientPreview preview;
    const QString label = shownBig5(getField(entry.label));
    QByteArray content;
    switch (entry.kind) {
    case KindListRow: {
        preview.who = QStringLiteral("第 %1 行 %2").arg(qint64(entry.id) + 1).arg(label);
        const auto row = parsed.ListFileRows.find(entry.id);
        if (row != parsed.ListFileRows.end())
            content = getField(row->second.content);
        break;
    }
    case KindAddressBook:
        preview.who = entry.id > 0 ? label : QStringLiteral("群組「%1」的每位成員").arg(label);
        break;
    default:
        preview.who = label;
    }
    if (!content.isEmpty())
        preview.text = input.replaceFields ? ReplacedMessage(input.text, content, &preview.missing) : content;
    else
        preview.text =
            input.replaceFields ? ReplacedMessage(input.text, QByteArrayView(), &preview.missing) : input.text;
    preview.segments = segment(preview.text);
    return preview;
}

QString RecipientPreviewText(const RecipientPreview& preview, int index, int count) {
    QString text = QStringLiteral("受訊者 %1 / %2：%3\n").arg(index + 1).arg(count).arg(preview.who);
    if (!preview.missing.isEmpty())
        text += QStringLiteral("（沒有 %1 的值，傳送時留空）\n").arg(PlaceholdersText(preview.missing));
    return text + PreviewText(preview.segments.block, preview.segments.count,
                              DroppedCharacters(fromBig5(preview.text), preview.segments));
}

} // namespace norvi
