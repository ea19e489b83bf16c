#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// With "替代簡訊" the message is a template whose "$1$".."$9$" each list line fills with its own values. A
// recipient whose line leaves one of them without a value (a line with fewer values, a line with none, a
// recipient typed or taken from the address book) would get the template's marks themselves: such
// recipients are named to the user before a run, and sent, if the user says so, with those fields empty.
namespace norvi {

// The numbers of the placeholders "$1$".."$9$" the template holds, in ascending order.
QList<int> TemplatePlaceholders(QByteArrayView templ);

// "$1$、$2$"
QString PlaceholdersText(const QList<int>& numbers);

// The recipients of a run whose message leaves placeholders empty, counted in full and named up to a
// handful in the order they were added: the problem lines of the run.
class EmptyFields {
public:
    // How many a question names before it says "…".
    static constexpr int kNamed = 5;

    // A list file's line (from 0, as rows keep it) or another recipient (its number or name) that leaves
    // `missing` without a value.
    void addListLine(qint64 line, const QList<int>& missing);
    void addRecipient(const QString& who, const QList<int>& missing);

    bool empty() const { return m_count == 0; }
    int count() const { return m_count; }
    // The named lines: "第 3 行缺 $2$", "0912000111 缺 $1$、$2$".
    const QStringList& lines() const { return m_named; }
    // "以下 N 位受訊者的訊息缺少替代欄位的值：第 3 行缺 $2$、…"
    QString summary() const;
    // norvi-cli's refusal, with the option that lets such a run go.
    QString refusal() const;

private:
    void add(const QString& named);

    int m_count = 0;
    QStringList m_named;
};

} // namespace norvi
