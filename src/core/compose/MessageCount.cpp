#include "core/compose/MessageCount.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"

#include <algorithm>

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
