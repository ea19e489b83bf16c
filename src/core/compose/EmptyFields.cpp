#include "core/compose/EmptyFields.h"

namespace norvi {

namespace {
constexpr int kLastPlaceholder = 9;
} // namespace

QList<int> TemplatePlaceholders(QByteArrayView templ) {
    QList<int> numbers;
    char placeholder[] = "$0$";
    for (int k = 1; k <= kLastPlaceholder; ++k) {
        placeholder[1] = char('0' + k);
        if (templ.contains(QByteArrayView(placeholder, 3)))
            numbers.append(k);
    }
    return numbers;
}

QString PlaceholdersText(const QList<int>& numbers) {
    QStringList marks;
    for (const int k : numbers)
        marks << QStringLiteral("$%1$").arg(k);
    return marks.join(QStringLiteral("、"));
}

void EmptyFields::addListLine(qint64 line, const QList<int>& missing) {
    add(QStringLiteral("第 %1 行缺 %2").arg(QString::number(line + 1), PlaceholdersText(missing)));
}

void EmptyFields::addRecipient(const QString& who, const QList<int>& missing) {
    add(QStringLiteral("%1 缺 %2").arg(who, PlaceholdersText(missing)));
}

void EmptyFields::add(const QString& named) {
    ++m_count;
    if (m_named.size() < kNamed)
        m_named.append(named);
}

QString EmptyFields::summary() const {
    QString text =
        QStringLiteral("以下 %1 位受訊者的訊息缺少替代欄位的值：").arg(m_count) + m_named.join(QStringLiteral("、"));
    if (m_count > kNamed)
        text += QStringLiteral("…");
    return text;
}

QString EmptyFields::refusal() const {
    return summary() + QStringLiteral("。沒有傳送任何簡訊；要將這些欄位留空照樣傳送請加上 --allow-empty-fields。");
}

} // namespace norvi
