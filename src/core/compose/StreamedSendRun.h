#pragma once

#include "core/compose/ListFileStream.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SendFeed.h"

#include <deque>
#include <memory>

namespace norvi {

// A send run whose messages are made while it goes (a SendFeed), so that its memory does not grow with
// its recipients: first the entries of its RecipientList (the recipients named one by one), then the rows of
// a list file, read a piece at a time. prepare() walks the whole run once without keeping it, with the
// checks and the count the whole-queue build gives (a number too long, no number at all, what was
// skipped, the number of short messages); the worker then takes the messages one at a time while the
// file is read a second time. The numbers queued are kept for the duplicate check, compactly, and a text of a
// row's own only where the list holds its number more than once.
class StreamedSendRun : public SendFeed {
public:
    // The book the run's entries name; it must stay unchanged until the run has ended.
    explicit StreamedSendRun(const AddressBook& book) : m_book(book) {}

    // The recipients named one by one, sent before the list file's rows; before prepare().
    void setRecipients(std::list<sMtData> entries) { RecipientList = std::move(entries); }

    // The list file of the run (optional); false when it cannot be opened or is too large (listCheck()).
    bool setListFile(const QString& path, bool big5);
    const ListFileCheck& listCheck() const { return m_list.check(); }
    // The list file's lines (from 0) cut at kMaxListLineBytes, once countListRows() has read it.
    const std::vector<qint64>& listCutLines() const { return m_list.cutLines(); }
    // Reads the whole list file once, checking it, and counts the rows that have a number or a text (the
    // entries it adds to the run); `odd` gets the rows whose number is none. False when the file has a
    // problem (listCheck()) or `stop` held.
    bool countListRows(int* rows, const std::function<bool()>& stop = {}, OddNumbers* odd = nullptr);
    // What countListRows() found of the rows that hold no number and are never sent: the first
    // kNamedListLines of their lines (from 1), and how many there are.
    const QList<qint64>& listLinesWithoutNumber() const { return m_withoutNumberNamed; }
    qint64 listRowsWithoutNumber() const { return m_withoutNumber; }

    // The message of the run, before prepare().
    void setInput(const ComposeInput& input) { m_input = input; }
    // Who the run leaves out, before prepare(); both walks leave out the same. The stop list it names must
    // stay unchanged until the run has ended.
    void setFilter(const RecipientFilter& filter) { m_filter = filter; }

    // The first walk. A list file with a problem makes listCheck() name it and the result not ok, with
    // no message of its own. `stop` ends the walk early (the result is then not ok, without a message).
    SendQueueResult prepare(const std::function<bool()>& stop = {});

    // A walk between the first and the second, for the run's plan: the records the worker will take.
    bool forEachPlanned(const std::function<void(const sSendContent&)>& each) override;

    // The second walk, for the worker.
    const sSendContent* next() override { return next(m_record) ? &m_record : nullptr; }
    bool next(sSendContent& record);
    // What ended the second walk early: the list file changed since the first. Empty otherwise.
    QString lateProblem() const { return m_lateProblem; }

private:
    bool produceMore();
    void setUp(SendQueueBuilder& builder) const;
    // About how many numbers the run queues, known once the list file was counted: a group adds more.
    qsizetype expectedNumbers() const { return qsizetype(RecipientList.size()) + m_listRows; }

    const AddressBook& m_book;
    std::list<sMtData> RecipientList;
    ComposeInput m_input;
    RecipientFilter m_filter;
    ListFileStream m_list;
    bool m_hasList = false;
    qsizetype m_listRows = 0; // the rows countListRows() found
    QList<qint64> m_withoutNumberNamed;
    qint64 m_withoutNumber = 0;
    NumberSet m_repeatedKeys;     // the keys of the numbers the list file holds more than once
    bool m_repeatedKnown = false; // countListRows() found them

    // The second walk.
    std::unique_ptr<SendQueueBuilder> m_builder;
    std::deque<sSendContent> m_ready;
    std::list<sMtData>::const_iterator m_entry;
    bool m_entriesDone = false;
    bool m_listDone = false;
    bool m_started = false;
    QString m_lateProblem;
    sSendContent m_record{};
};

} // namespace norvi
