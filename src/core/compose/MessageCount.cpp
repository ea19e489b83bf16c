#include "core/compose/MessageCount.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"

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
    return segment(replaceFields ? SubstituteFields(messageText, content) : content);
}

OverlongRows FindOverlongRows(const std::map<int32_t, sLoadMt>& rows, QByteArrayView messageText, bool replaceFields) {
    OverlongRows overlong;
    // A template without "$1$" leaves every row its own content; only the others are filled in row by row.
    const bool fill = replaceFields && messageText.contains("$1$");
    for (const auto& [line, row] : rows) {
        if (row.msisdn[0] == '\0' || row.content[0] == '\0')
            continue;
        const QByteArrayView content(row.content, qsizetype(strnlen(row.content, sizeof row.content)));
        if (fill ? NeedsMoreThanSix(SubstituteFields(messageText, content)) : NeedsMoreThanSix(content))
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

} // namespace norvi
