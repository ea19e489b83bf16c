#include "core/compose/OddNumbers.h"

#include "core/compose/ComposeState.h"
#include "core/compose/NumberKey.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

namespace norvi {

namespace {

constexpr int kMinDigits = 3;
constexpr int kMaxDigits = 20;

} // namespace

bool IsPhoneNumber(QByteArrayView text) {
    const QByteArrayView number = text.trimmed();
    const QByteArrayView digits = number.startsWith('+') ? number.sliced(1) : number;
    if (digits.size() < kMinDigits || digits.size() > kMaxDigits)
        return false;
    for (const char c : digits)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool OddNumbers::addTyped(QByteArrayView number) {
    if (IsPhoneNumber(SentNumber(number)))
        return false;
    add(fromBig5(number.trimmed().toByteArray()));
    return true;
}

bool OddNumbers::addListLine(qint64 line, QByteArrayView number) {
    if (number.trimmed().isEmpty() || IsPhoneNumber(SentNumber(number)))
        return false;
    add(QStringLiteral("第 %1 行 %2").arg(QString::number(line + 1), fromBig5(number.trimmed().toByteArray())));
    return true;
}

void OddNumbers::add(const QString& named) {
    ++m_count;
    if (m_named.size() < kNamed)
        m_named.append(named);
}

QString OddNumbers::summary() const {
    QString text = QStringLiteral("以下 %1 筆不是手機門號：").arg(m_count) + m_named.join(QStringLiteral("、"));
    if (m_count > kNamed)
        text += QStringLiteral("…");
    return text;
}

QString OddNumbers::question() const {
    return summary() + QStringLiteral("，仍要傳送？");
}

QString OddNumbers::refusal() const {
    return summary() + QStringLiteral("。沒有傳送任何簡訊；確定要傳送給這些受訊者請加上 --allow-odd-numbers。");
}

OddNumbers FindOddNumbers(const ParsedRecipients& parsed, int* first) {
    const std::map<int32_t, sLoadMt>& ListFileRows = parsed.ListFileRows;
    OddNumbers odd;
    int index = 0;
    int found = -1;
    for (const sMtData& entry : parsed.RecipientList) {
        bool counted = false;
        if (entry.kind == KindTyped) {
            counted = odd.addTyped(getField(entry.label));
        } else if (entry.kind == KindListRow) {
            const auto row = ListFileRows.find(entry.id);
            if (row != ListFileRows.end())
                counted = odd.addListLine(entry.id, getField(row->second.msisdn));
        }
        if (counted && found < 0)
            found = index;
        ++index;
    }
    if (first)
        *first = found;
    return odd;
}

} // namespace norvi
