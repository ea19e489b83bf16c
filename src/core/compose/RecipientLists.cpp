#include "core/compose/RecipientLists.h"

#include "core/compose/ComposeState.h"
#include "core/compose/LinkCheck.h"
#include "core/compose/NumberKey.h"
#include "core/compose/OptOutList.h"
#include "core/compose/TrimEnds.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/ShownText.h"
#include "core/shared/StopSignal.h"

#include <QVarLengthArray>

#include <cstring>
#include <map>

namespace norvi {

namespace {

constexpr int kMaxFields = 9;
constexpr int kSubstitutedLength = 959;

// Spaces and control characters at both ends; Big5 trail bytes are never in that range.
QByteArrayView trimmed(QByteArrayView text) {
    return TrimEnds(text, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

// A fixed-width field's text, up to its first zero or its width, without copying it.
template <std::size_t N> QByteArrayView fieldView(const char (&field)[N]) {
    const void* zero = std::memchr(field, 0, N);
    return QByteArrayView(field, zero ? static_cast<const char*>(zero) - field : qsizetype(N));
}

// The NUL-terminated fields of an outgoing record hold at most N - 1 bytes.
// A book's name may fill its 100 bytes, one more than a record keeps: it is cut between two characters.
template <std::size_t N> void putText(char (&field)[N], QByteArrayView text) {
    putBig5CString(field, text);
}

// The values between pairs of "$": "$a$ $b$" gives a and b, "$$" gives nothing, "$a$b$" only a.
// Only the first nine can ever be used.
QVarLengthArray<QByteArrayView, kMaxFields> fieldValues(QByteArrayView content) {
    QVarLengthArray<QByteArrayView, kMaxFields> values;
    const qsizetype n = content.size();
    qsizetype i = 0;
    while (i < n && values.size() < kMaxFields) {
        if (content[i] != '$') {
            ++i;
            continue;
        }
        const qsizetype start = i + 1;
        qsizetype close = content.indexOf('$', start);
        if (close < 0)
            close = n;
        if (close > start)
            values.append(content.sliced(start, close - start));
        i = close + 1;
    }
    return values;
}

// The empty columns a spreadsheet writes into a comma list (",,"), or values with nothing in them ("$$"):
// sent as a row's own text they would reach the recipient as "," or "$$" instead of the message. Big5
// characters never hold these bytes (their second byte is 0x40 or above).
bool holdsNoText(QByteArrayView content) {
    for (const char c : content)
        if (static_cast<unsigned char>(c) > 0x20 && c != ',' && c != '$')
            return false;
    return true;
}

QByteArrayView defaultNumberView(QByteArrayView msisdn) {
    const qsizetype at = msisdn.indexOf('@');
    const qsizetype begin = at < 0 ? 0 : at + 1;
    qsizetype end = msisdn.indexOf(';', begin);
    if (end < 0)
        end = msisdn.size();
    return msisdn.sliced(begin, end - begin);
}

// The default as the address book reads it: pieces between ";" without the empty ones, the one marked
// with "@" or else the first.
QByteArrayView listedDefaultView(QByteArrayView msisdn) {
    QByteArrayView first;
    qsizetype start = 0;
    while (start <= msisdn.size()) {
        qsizetype end = msisdn.indexOf(';', start);
        if (end < 0)
            end = msisdn.size();
        QByteArrayView piece = msisdn.sliced(start, end - start);
        const bool marked = piece.startsWith('@');
        if (marked)
            piece = piece.sliced(1);
        if (!piece.isEmpty()) {
            if (marked)
                return piece;
            if (first.isEmpty())
                first = piece;
        }
        start = end + 1;
    }
    return first;
}

// How a recipient that is no list row is named: by its name in the book, else by its number.
QString recipientNamed(const QByteArray& number, uint8_t kind, QByteArrayView name) {
    return shownBig5(kind == KindAddressBook && !name.isEmpty() ? name.toByteArray() : number);
}

} // namespace

QList<QByteArrayView> SplitListFileLines(const QByteArray& bytes) {
    QList<QByteArrayView> lines;
    const char* data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QByteArrayView(data + start, i - start));
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(QByteArrayView(data + start, n - start));
    return lines;
}

qsizetype CountListFileLines(QByteArrayView bytes) {
    qsizetype lines = 0;
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        ++lines;
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return start < n ? lines + 1 : lines;
}

qsizetype FirstListLineWithNul(QByteArrayView bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? 0 : CountListFileLines(bytes.first(nul + 1));
}

QString ListFileNulLineText(qsizetype line) {
    return QStringLiteral("發訊名單第 %1 行含有空字元（0x00），號碼會被截斷，無法載入。").arg(line);
}

bool ParseListFileLine(QByteArrayView line, int32_t index, sLoadMt& row, QByteArrayView* numberOut) {
    const QByteArrayView whole = trimmed(line);
    if (whole.isEmpty() || line.contains('\0'))
        return false;
    // Only the first separator splits: later spaces and commas belong to the content.
    qsizetype separator = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ' ' || line[i] == ',') {
            separator = i;
            break;
        }
    }
    const QByteArrayView number = separator < 0 ? whole : trimmed(line.first(separator));
    QByteArrayView content = separator < 0 ? QByteArrayView() : trimmed(line.sliced(separator + 1));
    if (holdsNoText(content))
        content = QByteArrayView();
    std::memset(&row, 0, sizeof row);
    row.line = index;
    putField(row.msisdn, sizeof row.msisdn, number.data(), std::size_t(number.size()));
    putField(row.content, sizeof row.content, content.data(), std::size_t(content.size()));
    if (numberOut)
        *numberOut = number;
    return true;
}

ListFileRowFill::ListFileRowFill(ParsedRecipients& into) : m_into(into) {
    m_spare.swap(into.ListFileRows);
    into.ListFileLongNumbers.clear();
}

void ListFileRowFill::add(QByteArrayView line, int32_t index) {
    auto node = m_spare.empty() ? decltype(m_spare)::node_type() : m_spare.extract(m_spare.begin());
    sLoadMt fresh;
    sLoadMt& row = node ? node.mapped() : fresh;
    QByteArrayView number;
    if (!ParseListFileLine(line, index, row, &number)) {
        if (node)
            m_spare.insert(std::move(node));
        return;
    }
    if (number.size() > qsizetype(sizeof row.msisdn))
        m_into.ListFileLongNumbers.emplace(index, number.toByteArray());
    std::map<int32_t, sLoadMt>& ListFileRows = m_into.ListFileRows;
    std::map<int32_t, sLoadMt>::iterator at;
    if (node) {
        node.key() = index;
        at = ListFileRows.insert(ListFileRows.end(), std::move(node));
    } else {
        at = ListFileRows.emplace_hint(ListFileRows.end(), index, fresh);
    }
    ++m_stored;

    sMtData& entry = m_into.RecipientList.emplace_back();
    std::memset(&entry, 0, sizeof entry);
    entry.id = index;
    entry.kind = KindListRow;
    putText(entry.label, fieldView(at->second.msisdn));
}

int ReadListFileLines(ParsedRecipients& into, const QList<QByteArrayView>& lines, const std::function<void()>& step,
                      const StopFlag* stop) {
    ListFileRowFill fill(into);
    for (int i = 0; i < lines.size() && !(stop && stop->requested()); ++i) {
        if (step)
            step();
        fill.add(lines.at(i), i);
    }
    return fill.stored();
}

int ReadListFile(ParsedRecipients& into, const QByteArray& bytes) {
    return ReadListFileLines(into, SplitListFileLines(bytes));
}

qsizetype FirstControlInRow(QByteArrayView content, bool valuesOnly) {
    // No Big5 character holds one of these bytes: a trail byte is 0x40 or more, 0x7F and 0x80 are neither a
    // lead nor a trail byte. 0x80 is the one byte U+0080 has. Tabs and line breaks are a text's layout, as in
    // the message field: a text list's line never holds a line break, a workbook's cell may (Alt+Enter).
    const auto control = [](char c) {
        return (isControlByte(c) && c != '\t' && c != '\n' && c != '\r') || static_cast<unsigned char>(c) == 0x80;
    };
    if (!valuesOnly) {
        for (qsizetype i = 0; i < content.size(); ++i)
            if (control(content[i]))
                return i;
        return -1;
    }
    for (const QByteArrayView value : fieldValues(content))
        for (qsizetype i = 0; i < value.size(); ++i)
            if (control(value[i]))
                return value.data() + i - content.data();
    return -1;
}

QString ListRowControlText(qint64 line, char c) {
    const QString character = fromBig5(QByteArray(1, c));
    return QStringLiteral("發訊名單第 %1 行有看不見的控制字元（%2），手機無法顯示，請刪除後再傳送。")
        .arg(QString::number(line + 1), unmappableCode(character));
}

QByteArray SubstituteFields(QByteArrayView templ, QByteArrayView content) {
    const auto values = fieldValues(content);
    QByteArray result;
    if (values.isEmpty() || !templ.contains("$1$")) {
        result = content.toByteArray();
    } else {
        result = templ.toByteArray();
        char placeholder[] = "$0$";
        for (qsizetype k = 1; k <= values.size(); ++k) {
            placeholder[1] = char('0' + k);
            // Left to right, resuming after each inserted value: a value that recreates the
            // placeholder around it (template "$$1$$", value "1") cannot make this loop for ever.
            if (result.contains(placeholder))
                result.replace(QByteArrayView(placeholder, 3), values[k - 1]);
        }
    }
    if (result.size() > kSubstitutedLength)
        result.truncate(kSubstitutedLength);
    return result;
}

QByteArray DefaultNumber(QByteArrayView msisdn) {
    return defaultNumberView(msisdn).toByteArray();
}

bool CheckDigitRuns(const QByteArray& text) {
    int run = 0;
    bool leadingZero = false;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            run = 0;
            continue;
        }
        if (run == 0)
            leadingZero = c == '0';
        ++run;
        if (leadingZero && run >= 9)
            return false;
    }
    return true;
}

QByteArray ReplacedMessage(QByteArrayView templ, QByteArrayView content, QList<int>* missing) {
    const QList<int> placeholders = TemplatePlaceholders(templ);
    QByteArray result;
    int values = 0;
    if (content.isEmpty()) {
        result = templ.toByteArray();
    } else {
        values = int(fieldValues(content).size());
        if (values == 0 || !templ.contains("$1$")) {
            if (missing)
                missing->clear();
            return SubstituteFields(templ, content);
        }
        result = SubstituteFields(templ, content);
    }
    QList<int> left;
    char placeholder[] = "$0$";
    for (const int k : placeholders) {
        if (k <= values)
            continue;
        left.append(k);
        placeholder[1] = char('0' + k);
        result.replace(QByteArrayView(placeholder, 3), QByteArrayView());
    }
    if (missing)
        *missing = left;
    return result.left(kSubstitutedLength);
}

bool IsBlankText(QByteArrayView text) {
    // Big5's full-width space is A1 40; A1 is a lead byte, so a pair met at a character's start is that space.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (static_cast<unsigned char>(c) == 0xA1 && i + 1 < text.size() && text[i + 1] == '\x40') {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

QString BlankTextsText(const BlankTexts& blank) {
    const QString first = blank.firstLine >= 0 ? QStringLiteral("第一筆在第 %1 行").arg(qint64(blank.firstLine) + 1)
                                               : QStringLiteral("第一位是 %1").arg(blank.firstWho);
    return QStringLiteral("%1 位受訊者的訊息是空白的，不會傳送，%2").arg(blank.count).arg(first);
}

QString BlankTextsEndNote(const BlankTexts& blank) {
    return blank.count > 0 ? QStringLiteral("略過 %1 筆：空白訊息 %1 筆").arg(blank.count) : QString();
}

ComposeInput ComposeInput::fromText(const QByteArray& text, bool replaceFields) {
    ComposeInput input;
    input.text = text;
    input.replaceFields = replaceFields;
    if (replaceFields)
        input.placeholders = TemplatePlaceholders(text);
    // A recipient without values of its own gets the template with its fields empty, never its marks.
    input.segments = segment(SharedMessage(input));
    return input;
}

QByteArray SharedMessage(const ComposeInput& input) {
    return input.placeholders.isEmpty() ? input.text : ReplacedMessage(input.text, QByteArrayView(), nullptr);
}

QByteArray RowMessage(QByteArrayView content, const ComposeInput& input) {
    return input.replaceFields ? ReplacedMessage(input.text, content, nullptr) : content.toByteArray();
}

SendQueueBuilder::SendQueueBuilder(const AddressBook& book, const ComposeInput& input, const ParsedRecipients* parsed,
                                   const RecipientFilter& filter)
    : m_book(book), m_input(input), m_parsed(parsed), m_filter(filter),
      m_marksAsWritten(input.replaceFields ? QList<int>() : TemplatePlaceholders(input.text)),
      m_seen(SharedMessage(input)) {
    m_sharedBlank = IsBlankText(SharedMessage(input));
}

bool SendQueueBuilder::addEntry(const sMtData& entry) {
    if (!m_result.ok)
        return false;
    switch (entry.kind) {
    case KindAddressBook: {
        const bool member = entry.id > 0;
        if (member ? !m_book.member(entry.id) : !m_book.group(entry.id)) {
            skipped(QString::fromUtf8(member ? "通訊錄中已沒有成員「%1」（識別碼 %2），已略過。"
                                             : "通訊錄中已沒有群組「%1」（識別碼 %2），已略過。")
                        .arg(fromBig5(getField(entry.label)), QString::number(entry.id)));
            return true;
        }
        return member ? addMember(entry.id) : ExpandGroup(entry.id);
    }
    case KindListRow:
        return addListRow(entry.id);
    case KindTyped:
        return offer(fieldView(entry.label), KindTyped, QByteArrayView());
    default:
        return true;
    }
}

bool SendQueueBuilder::ExpandGroup(int32_t groupId) {
    // Depth first in slot order, as a recursive walk would go, but on an explicit stack. A group met again (picked
    // twice, or also inside another group picked) is walked again: each of its members is a recipient once more,
    // left out as a duplicate or, with duplicates kept, sent again, as a member in two groups is. A group already
    // on the way down is a cycle in a damaged book and is passed over. What a group lacks is named on its first
    // walk only, and the walks again stop at a bound that only a damaged or absurdly nested book reaches.
    struct Frame {
        int32_t id;
        const sGroup* group;
        int slot;
        bool first; // the group's first walk in this run
    };
    std::vector<Frame> stack;
    QSet<int32_t> onTheWay; // the groups of the stack
    const auto enter = [&](int32_t id, const Frame* from) {
        if (onTheWay.contains(id))
            return;
        const bool first = !m_expandedGroups.contains(id);
        if (!first && m_slotsWalked > kGroupSlotsWalkedAgain)
            return;
        const sGroup* group = m_book.group(id);
        if (!group) {
            if (first && (!from || from->first))
                missingSlot(from ? from->group : nullptr, id);
            m_expandedGroups.insert(id);
            return;
        }
        m_expandedGroups.insert(id);
        onTheWay.insert(id);
        stack.push_back({id, group, 0, first});
    };
    enter(groupId, nullptr);
    while (!stack.empty() && m_result.ok) {
        Frame& frame = stack.back();
        if (frame.slot >= kGroupSlots) {
            onTheWay.remove(frame.id);
            stack.pop_back();
            continue;
        }
        ++m_slotsWalked;
        const sGroup* group = frame.group;
        const int32_t id = group->members[frame.slot++];
        if (id > 0) {
            addMember(id, group, frame.first);
        } else if (id < 0) {
            const Frame from = frame;
            enter(id, &from); // may grow the stack: `frame` is not used after this
        }
    }
    return m_result.ok;
}

bool SendQueueBuilder::addMember(int32_t memberId, const sGroup* from, bool nameIfMissing) {
    const sMember* found = m_book.member(memberId);
    if (!found) {
        if (nameIfMissing)
            missingSlot(from, memberId);
        return true;
    }
    const sMember& member = *found;
    const QByteArrayView msisdn = fieldView(member.msisdn);
    if (msisdn.isEmpty())
        return true;
    QByteArrayView number = defaultNumberView(msisdn);
    // A text such as ";0912..." has no number where the plain rule looks; the number the address book
    // shows as the default is the one meant.
    if (number.isEmpty())
        number = listedDefaultView(msisdn);
    return offer(number, KindAddressBook, fieldView(member.name));
}

void SendQueueBuilder::missingSlot(const sGroup* from, int32_t id) {
    if (!from) {
        skipped(QStringLiteral("通訊錄中已沒有識別碼 %1 的成員或群組，已略過。").arg(id));
        return;
    }
    const QString group = fromBig5(getField(from->name));
    skipped(QString::fromUtf8(id > 0 ? "群組「%1」中的成員（識別碼 %2）不在通訊錄中，已略過。"
                                     : "群組「%1」中的子群組（識別碼 %2）不在通訊錄中，已略過。")
                .arg(group, QString::number(id)));
}

void SendQueueBuilder::skipped(const QString& text) {
    ++m_result.missingEntries;
    if (m_result.skipped.size() < kNamedSkips)
        m_result.skipped.append(text);
}

bool SendQueueBuilder::addListRow(int32_t line) {
    if (m_parsed) {
        const auto it = m_parsed->ListFileRows.find(line);
        if (it != m_parsed->ListFileRows.end())
            return addListFileRow(it->second, line);
    }
    skipped(QStringLiteral("發訊名單第 %1 行已不在名單中，已略過。").arg(qint64(line) + 1));
    return true;
}

bool SendQueueBuilder::addListFileRow(const sLoadMt& row, int32_t line) {
    if (!m_result.ok)
        return false;
    const QByteArrayView number = fieldView(row.msisdn);
    if (number.isEmpty())
        return true;
    const QByteArrayView content = fieldView(row.content);
    if (content.isEmpty())
        return offer(number, KindListRow, QByteArrayView(), nullptr, line);
    // A template that takes no value, or a row without one, sends the whole column.
    const bool valuesOnly = m_input.replaceFields && m_input.text.contains("$1$") && !fieldValues(content).isEmpty();
    if (const qsizetype at = FirstControlInRow(content, valuesOnly); at >= 0) {
        m_result.ok = false;
        m_result.message = ListRowControlText(line >= 0 ? line : row.line, content[at]);
        return false;
    }
    OwnText own;
    own.text = m_input.replaceFields ? ReplacedMessage(m_input.text, content, &own.missing) : content.toByteArray();
    // "替代簡訊" fills nothing into a row without "$" values ("王小明,100" from a spreadsheet), nor into any row when
    // the message has no "$1$": such a row reaches its phone as the list holds it.
    own.rowsAsWritten = m_input.replaceFields && !valuesOnly;
    return offer(number, KindListRow, QByteArrayView(), &own, line);
}

// The order of the checks decides what a recipient left out for two reasons is counted as: a duplicate first
// (it is the same person and text as one before, whatever became of that one), then the stop list, then a
// text that is no number, then a template field without a value.
bool SendQueueBuilder::offer(QByteArrayView written, uint8_t kind, QByteArrayView name, const OwnText* own,
                             int32_t listLine) {
    if (written.isEmpty())
        return true;
    const QByteArray number = SentNumber(written);
    if (number.isEmpty())
        return true;
    const QByteArray key = NumberKey(number);
    switch (m_seen.add(key, own ? &own->text : nullptr)) {
    case SeenRecipients::Seen::SameText:
        if (!m_filter.keepDuplicates) {
            ++m_result.duplicates;
            return true;
        }
        break;
    case SeenRecipients::Seen::OtherText:
        ++m_result.sameNumberOtherText;
        break;
    case SeenRecipients::Seen::New:
        break;
    }
    if (m_filter.optOut && m_filter.optOut->containsKey(key)) {
        if (m_result.optedOutNamed.size() < kNamedOptOuts)
            m_result.optedOutNamed
                << (name.isEmpty() ? shownBig5(number)
                                   : QStringLiteral("%1（%2）").arg(shownBig5(number), fromBig5(name.toByteArray())));
        ++m_result.optedOut;
        return true;
    }
    if (leftOutAsOdd(number, written, kind, listLine))
        return true;
    if (const QList<int>& missing = own ? own->missing : m_input.placeholders;
        !missing.isEmpty() && leftOutForEmptyFields(number, kind, name, listLine, missing))
        return true;
    // Whatever the user chose for the fields: a text with nothing in it is never sent.
    if (leftOutAsBlank(own ? IsBlankText(own->text) : m_sharedBlank, number, kind, name, listLine))
        return true;
    if (!refuseIfTooLong(number, listLine))
        return false;
    if (!m_sink)
        m_result.queuedNumbers.push_back(number);
    sSendContent& record = append(number, kind, name);
    if (own) {
        record.segmentCount = SegmentBytes(own->text, record.segments[0]);
        if (CutAfterSix(own->text, record.segments[0], record.segmentCount))
            m_result.overlong.add(listLine);
        if (own->rowsAsWritten)
            m_result.rowsAsWritten.add(listLine);
        noteLink(own->text);
    } else {
        std::memcpy(record.segments, m_input.segments.block, sizeof record.segments);
        record.segmentCount = m_input.segments.count;
        noteLink(m_input.text);
        m_result.marksAsWritten = m_marksAsWritten;
    }
    ++m_result.recipients;
    m_result.totalCount += record.segmentCount;
    complete(record);
    return true;
}

bool SendQueueBuilder::leftOutAsOdd(const QByteArray& number, QByteArrayView written, uint8_t kind, int32_t listLine) {
    // The address book keeps numbers only; typed text and list rows may hold anything.
    if (kind == KindAddressBook || IsPhoneNumber(number))
        return false;
    if (kind == KindListRow && listLine >= 0)
        m_result.odd.addListLine(listLine, written);
    else
        m_result.odd.addTyped(written);
    if (!m_filter.leaveOutOddNumbers)
        return false;
    ++m_result.oddLeftOut;
    return true;
}

void SendQueueBuilder::noteLink(QByteArrayView text) {
    // The message field's text is looked at once; a list's own texts until one holds a link.
    if (m_result.link)
        return;
    if (text.data() == m_input.text.constData()) {
        if (m_messageLooked)
            return;
        m_messageLooked = true;
    }
    m_result.link = HoldsLink(text);
}

bool SendQueueBuilder::leftOutForEmptyFields(const QByteArray& number, uint8_t kind, QByteArrayView name,
                                             int32_t listLine, const QList<int>& missing) {
    if (listLine >= 0)
        m_result.emptyFields.addListLine(listLine, missing);
    else
        m_result.emptyFields.addRecipient(recipientNamed(number, kind, name), missing);
    if (!m_filter.leaveOutEmptyFields)
        return false;
    ++m_result.emptyFieldsLeftOut;
    return true;
}

bool SendQueueBuilder::leftOutAsBlank(bool blank, const QByteArray& number, uint8_t kind, QByteArrayView name,
                                      int32_t listLine) {
    if (blank)
        m_result.blank.add(listLine, recipientNamed(number, kind, name));
    return blank;
}

void SendQueueBuilder::complete(const sSendContent& record) {
    if (m_sink)
        m_sink(record);
}

bool SendQueueBuilder::refuseIfTooLong(QByteArrayView number, int32_t listLine) {
    if (number.size() <= kMaxNumberLength)
        return true;
    m_result.ok = false;
    QByteArray whole = number.toByteArray();
    if (listLine >= 0 && m_parsed) {
        const auto it = m_parsed->ListFileLongNumbers.find(listLine);
        if (it != m_parsed->ListFileLongNumbers.end())
            whole = it->second;
    }
    m_result.message = QStringLiteral("受訊者號碼過長（超過29個字元）：") + shownBig5(whole);
    if (listLine >= 0)
        m_result.message += QStringLiteral("（發訊名單第 %1 行）").arg(qint64(listLine) + 1);
    return false;
}

sSendContent& SendQueueBuilder::append(QByteArrayView number, uint8_t kind, QByteArrayView name) {
    sSendContent* made = &m_streamed;
    if (!m_sink) {
        if (m_spare.empty())
            m_queue.emplace_back();
        else
            m_queue.splice(m_queue.end(), m_spare, m_spare.begin());
        made = &m_queue.back();
    }
    sSendContent& record = *made;
    std::memset(&record, 0, sizeof record);
    record.seq = m_records++;
    record.kind = kind;
    putText(record.name, name);
    putText(record.msisdn, number);
    return record;
}

QString NothingToSendText(const SendQueueResult& result) {
    if (result.leftOut() == 0)
        return QStringLiteral("沒有任何受訊者有可傳送的電話號碼，沒有簡訊可傳送！");
    QStringList why;
    if (result.duplicates > 0)
        why << QStringLiteral("重複 %1 筆").arg(result.duplicates);
    if (result.optedOut > 0)
        why << QStringLiteral("拒收 %1 筆").arg(result.optedOut);
    if (result.oddLeftOut > 0)
        why << QStringLiteral("號碼不符 %1 筆").arg(result.oddLeftOut);
    if (result.emptyFieldsLeftOut > 0)
        why << QStringLiteral("缺少替代欄位 %1 筆").arg(result.emptyFieldsLeftOut);
    if (result.blank.count > 0)
        why << QStringLiteral("空白訊息 %1 筆").arg(result.blank.count);
    return QStringLiteral("所有受訊者都已略過（%1），沒有簡訊可傳送！").arg(why.join(QStringLiteral("、")));
}

SendQueueResult BuildSendQueue(const AddressBook& book, const ComposeInput& input, const ParsedRecipients& parsed,
                               std::list<sSendContent>& SendQueue, const RecipientFilter& filter) {
    SendQueueBuilder builder(book, input, &parsed, filter);
    builder.reuse(SendQueue);
    int position = 0;
    int firstEmptyFields = -1;
    int firstBlank = -1;
    for (const sMtData& entry : parsed.RecipientList) {
        if (!builder.addEntry(entry))
            break;
        if (firstEmptyFields < 0 && !builder.result().emptyFields.empty())
            firstEmptyFields = position;
        if (firstBlank < 0 && builder.result().blank.count > 0)
            firstBlank = position;
        ++position;
    }
    SendQueueResult result = builder.result();
    result.firstEmptyFieldsEntry = firstEmptyFields;
    result.firstBlankEntry = firstBlank;
    // Recipients that all lack a number make a run of nothing, which would report "完成：0 / 0" as if
    // something had been done; it is refused like any other run that cannot be sent.
    if (result.ok && result.totalCount == 0) {
        result.ok = false;
        result.message = NothingToSendText(result);
    }
    if (!result.ok) {
        result.totalCount = 0;
        result.recipients = 0;
        result.queuedNumbers.clear();
        return result;
    }
    SendQueue.swap(builder.queue());
    return result;
}

} // namespace norvi
