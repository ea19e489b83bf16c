#include "core/compose/MessageCount.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"

namespace norvi {

namespace {
constexpr qsizetype kCountedCharacters = 1000;
} // namespace

QByteArray CountedText(const QString& message) {
    qsizetype n = std::min(message.size(), kCountedCharacters);
    if (n > 0 && n < message.size() && message.at(n - 1).isHighSurrogate())
        --n;
    return big5(message.left(n));
}

QString CountLabelText(int count) {
    return QStringLiteral("總共需要 %1 通簡訊").arg(count);
}

Segments RowSegments(const QByteArray& content, const QByteArray& messageText, bool replaceFields) {
    return segment(replaceFields ? SubstituteFields(messageText, content) : content);
}

QString PreviewText(const char* block, int count) {
    QStringList lines;
    for (int k = 1; k <= count; ++k) {
        lines << QStringLiteral("第 %1 通").arg(k);
        lines << fromBig5(segmentText(block, k));
    }
    return lines.join(QStringLiteral("\n"));
}

} // namespace norvi
