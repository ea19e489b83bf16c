#include "core/compose/SeparatedNumbers.h"

#include "core/compose/OddNumbers.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <QRegularExpression>

#include <cstring>

namespace norvi {

namespace {

constexpr int kNamedRecipients = 5;
// The fewest digits of a number written beside others. A number written in groups ("0912 345 678") has
// shorter parts, and stays one recipient.
constexpr int kLeastDigits = 8;

const QRegularExpression& separators() {
    static const QRegularExpression between(QStringLiteral("[,，、\\s]+"));
    return between;
}

} // namespace

QStringList SeparatedNumbers(QByteArrayView typed) {
    QStringList parts = fromBig5(typed.toByteArray()).split(separators(), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return {};
    for (const QString& part : parts)
        if (!IsPhoneNumber(part.toLatin1()) || part.size() - part.startsWith(QLatin1Char('+')) < kLeastDigits)
            return {};
    return parts;
}

QStringList EntriesWithSeparatedNumbers(const std::list<sMtData>& entries) {
    QStringList found;
    for (const sMtData& entry : entries)
        if (entry.kind == KindTyped && !SeparatedNumbers(getField(entry.label)).isEmpty())
            found << fromBig5(getField(entry.label));
    return found;
}

void SplitSeparatedNumbers(std::list<sMtData>& entries) {
    for (auto it = entries.begin(); it != entries.end();) {
        const QStringList numbers = it->kind == KindTyped ? SeparatedNumbers(getField(it->label)) : QStringList();
        if (numbers.isEmpty()) {
            ++it;
            continue;
        }
        for (const QString& number : numbers) {
            sMtData one;
            std::memset(&one, 0, sizeof one);
            one.kind = KindTyped;
            putCString(one.label, number.toLatin1());
            entries.insert(it, one);
        }
        it = entries.erase(it);
    }
}

QString SeparatedNumbersQuestion(const QStringList& typed) {
    QString text = QStringLiteral("受訊者之間要以「;」分隔。以下受訊者含有「,」或空白，看來各是幾個門號：\n");
    text += typed.mid(0, kNamedRecipients).join(QLatin1Char('\n'));
    if (typed.size() > kNamedRecipients)
        text += QStringLiteral("\n…");
    return text + QStringLiteral("\n要分成各自的受訊者？");
}

} // namespace norvi
