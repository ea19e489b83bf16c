#pragma once

#include "core/compose/ComposeState.h"
#include "core/compose/RecipientRecords.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <list>

// Recipients typed or listed as text that is no telephone number ("abcdefg", "12", a mistyped name): the
// gateway would take them as numbers and count them as sent, so both front ends name them before a run.
namespace norvi {

// A number as the gateway can deliver to one: an optional "+", then 3 to 20 digits and nothing else,
// spaces at both ends ignored.
bool IsPhoneNumber(QByteArrayView text);

// The recipients of a run that are not numbers, counted in full and named up to a handful, in the order
// they were added.
class OddNumbers {
public:
    // How many a question names before it says "…".
    static constexpr int kNamed = 5;

    // Each adds `number` when it is not a number, even without its separators (SentNumber), and says so. `line` counts
    // from 0, as list rows keep it.
    bool addTyped(QByteArrayView number);
    bool addListLine(qint64 line, QByteArrayView number);

    bool empty() const { return m_count == 0; }
    int count() const { return m_count; }
    // "以下 N 筆不是手機門號：abc、第 3 行 xyz…"
    QString summary() const;
    // The send dialog's question.
    QString question() const;
    // norvi-cli's refusal, with the option that lets such a run go.
    QString refusal() const;

private:
    void add(const QString& named);

    int m_count = 0;
    QStringList m_named;
};

// The entries of `parsed`'s RecipientList that are not numbers: typed ones by their text, list-file rows by
// the number column of their row in its ListFileRows (a row without a number is never sent and is not
// counted). `first` gets the position in RecipientList of the first one, -1 when there is none.
OddNumbers FindOddNumbers(const ParsedRecipients& parsed, int* first = nullptr);

} // namespace norvi
