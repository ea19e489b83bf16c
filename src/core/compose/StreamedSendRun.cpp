#include "core/compose/StreamedSendRun.h"

#include "core/compose/ListFileInput.h"
#include "core/compose/NumberKey.h"
#include "core/shared/FixedField.h"

#include <cstring>

namespace norvi {

bool StreamedSendRun::setListFile(const QString& path, bool big5) {
    m_hasList = true;
    return m_list.open(path, big5);
}

bool StreamedSendRun::countListRows(int* rows, const std::function<bool()>& stop, OddNumbers* odd) {
    *rows = 0;
    m_listRows = 0;
    m_withoutNumberNamed.clear();
    m_withoutNumber = 0;
    if (!m_hasList)
        return true;
    QByteArrayView line;
    qint64 index = 0;
    sLoadMt row;
    while (m_list.next(&line, &index)) {
        if (stop && stop())
            return false;
        QByteArrayView number;
        if (!ParseListFileLine(line, int32_t(index), row, &number))
            continue;
        ++*rows;
        ++m_listRows;
        if (number.isEmpty() && m_withoutNumber++ < kNamedListLines)
            m_withoutNumberNamed.append(index + 1);
        if (odd)
            odd->addListLine(index, number);
    }
    if (m_list.check().problem != ListFileProblem::None || !m_list.rewind())
        return false;
    // The numbers the file holds twice, from a second reading with the set of every number reserved for the
    // rows counted: a set grown as the numbers come would hold its old table beside the new one, twice the
    // memory of the run's own duplicate check at a million rows.
    NumberSet listed;
    listed.reserve(m_listRows);
    m_repeatedKeys = NumberSet();
    while (m_list.next(&line, &index)) {
        if (stop && stop())
            return false;
        if (!ParseListFileLine(line, int32_t(index), row))
            continue;
        const QByteArray key = NumberKey(SentNumber(getField(row.msisdn)));
        if (!key.isEmpty() && !listed.insert(key))
            m_repeatedKeys.insert(key);
    }
    m_repeatedKnown = true;
    return m_list.check().problem == ListFileProblem::None && m_list.rewind();
}

void StreamedSendRun::setUp(SendQueueBuilder& builder) const {
    // Only a key the list holds twice can meet a text of its own again: the entries named one by one come
    // first and get the run's one message.
    if (m_repeatedKnown)
        builder.keepOwnTextsOnlyFor(&m_repeatedKeys);
    builder.reserveNumbers(expectedNumbers());
}

SendQueueResult StreamedSendRun::prepare(const std::function<bool()>& stop) {
    SendQueueBuilder builder(m_book, m_input, nullptr, m_filter);
    setUp(builder);
    builder.streamTo([](const sSendContent&) {});
    bool building = true;
    for (const sMtData& entry : RecipientList) {
        if (!(building = builder.addEntry(entry)))
            break;
    }
    bool stopped = false;
    if (m_hasList) {
        // The whole file is read even after the run was refused, so a problem of the file itself is named
        // before the number that refused it, as when the file was read whole first.
        QByteArrayView line;
        qint64 index = 0;
        sLoadMt row;
        while (m_list.next(&line, &index)) {
            if (stop && stop()) {
                stopped = true;
                break;
            }
            if (building && ParseListFileLine(line, int32_t(index), row))
                building = builder.addListFileRow(row, int32_t(index));
        }
    }
    if (m_hasList && m_list.check().problem == ListFileProblem::None && !stopped)
        m_list.rewind(); // ready for the run; a file changed since is found there
    SendQueueResult result = builder.result();
    if (stopped || (m_hasList && m_list.check().problem != ListFileProblem::None)) {
        result.ok = false;
        result.message.clear();
    } else if (result.ok && result.totalCount == 0) {
        result.ok = false;
        result.message = NothingToSendText(result);
    }
    if (!result.ok)
        result.totalCount = 0;
    return result;
}

bool StreamedSendRun::forEachPlanned(const std::function<void(const sSendContent&)>& each) {
    SendQueueBuilder builder(m_book, m_input, nullptr, m_filter);
    setUp(builder);
    builder.streamTo(each);
    for (const sMtData& entry : RecipientList)
        if (!builder.addEntry(entry))
            return false;
    if (!m_hasList)
        return builder.result().ok;
    // The file as it was checked, read once more from its first line; the worker's walk rewinds it again.
    if (!m_list.rewind())
        return false;
    QByteArrayView line;
    qint64 index = 0;
    sLoadMt row;
    while (m_list.next(&line, &index))
        if (ParseListFileLine(line, int32_t(index), row) && !builder.addListFileRow(row, int32_t(index)))
            return false;
    return m_list.check().problem == ListFileProblem::None && m_list.rewind() && builder.result().ok;
}

bool StreamedSendRun::next(sSendContent& record) {
    if (!m_started) {
        m_started = true;
        m_builder = std::make_unique<SendQueueBuilder>(m_book, m_input, nullptr, m_filter);
        setUp(*m_builder);
        m_builder->streamTo([this](const sSendContent& made) { m_ready.push_back(made); });
        m_entry = RecipientList.cbegin();
        m_listDone = !m_hasList;
        // From its first line again, and only if it is still the file that was checked.
        if (m_hasList && !m_list.rewind()) {
            m_lateProblem = QStringLiteral("發訊名單檔案在傳送前被更改，作業已停止。");
            m_listDone = true;
        }
    }
    while (m_ready.empty() && produceMore()) {
    }
    if (m_ready.empty())
        return false;
    std::memcpy(&record, &m_ready.front(), sizeof record);
    m_ready.pop_front();
    return true;
}

// Adds the next entry or list-file row: none, one or (a group) many records. False when nothing is left.
bool StreamedSendRun::produceMore() {
    if (!m_builder->result().ok)
        return false;
    if (!m_entriesDone) {
        if (m_entry == RecipientList.cend()) {
            m_entriesDone = true;
        } else {
            m_builder->addEntry(*m_entry++);
            return true;
        }
    }
    if (m_listDone)
        return false;
    QByteArrayView line;
    qint64 index = 0;
    if (!m_list.next(&line, &index)) {
        m_listDone = true;
        if (m_list.check().problem != ListFileProblem::None)
            m_lateProblem = QStringLiteral("發訊名單檔案在傳送中被更改，作業已停止。");
        return false;
    }
    sLoadMt row;
    if (ParseListFileLine(line, int32_t(index), row))
        m_builder->addListFileRow(row, int32_t(index));
    return true;
}

} // namespace norvi
