#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/compose/ComposeState.h"
#include "core/compose/EmptyFields.h"
#include "core/compose/ListFileRecords.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/RecipientRecords.h"
#include "core/compose/SeenRecipients.h"
#include "core/compose/SegmentMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <map>
#include <vector>

// Recipient list files and the assembly of a send run: ListFileRows from a file's bytes, the
// per-recipient message with its "$1$".."$9$" placeholders, and RecipientList -> SendQueue.
namespace norvi {

class StopFlag;

// Longest number that fits the NUL-terminated msisdn of an outgoing record.
constexpr int kMaxNumberLength = 29;

// The largest message text file worth reading. Six short messages hold 966 bytes, and a "替代簡訊"
// template is cut to 959 bytes once its "$1$".."$9$" are filled in; each 3-byte placeholder becomes at
// least one byte, so no more than 3 x 960 bytes of a template can ever be sent. In UTF-8 a two-byte Big5
// character takes three bytes: 4,320 bytes. A file past 8 KiB is not a message.
constexpr qint64 kMaxMessageFileBytes = 8 * 1024;

// The largest recipient list file worth reading. A row keeps 30 bytes of number and 960 of content
// (sLoadMt), so a full row is about 1,000 bytes of Big5 or 1,500 of UTF-8: 256 MiB holds well over
// 100,000 full rows, or millions of bare numbers.
constexpr qint64 kMaxListFileBytes = 256 * 1024 * 1024;
// The most lines a list file may have. Each recipient costs about 2.5 KB of memory on its way through
// the list (sLoadMt), the run (sSendContent) and the send log, so a million is some 2.5 GB; a file of
// bare numbers reaches that well inside the byte limit.
constexpr qsizetype kMaxListFileLines = 1000 * 1000;

// The lines of a list file: CR, LF or CR LF ends a line; a line end at the very end adds no line.
// The lines point into `bytes`, which must outlive them.
QList<QByteArrayView> SplitListFileLines(const QByteArray& bytes);
QList<QByteArrayView> SplitListFileLines(QByteArray&&) = delete;
// How many lines SplitListFileLines would give, without listing them.
qsizetype CountListFileLines(QByteArrayView bytes);

// The number (from 1) of the first line that holds a NUL byte, or 0 when none does. A record keeps its
// number up to the first NUL, so such a line would send its message to the part of the number before
// it: a file with one is refused by that line's number (ListFileNulLineText) before any row is read.
qsizetype FirstListLineWithNul(QByteArrayView bytes);
QString ListFileNulLineText(qsizetype line);

// One line into a row. The first space or comma splits the number from the content, both trimmed;
// false when the line is empty after trimming (the row is not stored, but its index stays used), and
// for a line with a NUL byte, which is never made a row. `number` receives the whole number as it
// stands in the line, before the row's field cuts it.
bool ParseListFileLine(QByteArrayView line, int32_t index, sLoadMt& row, QByteArrayView* number = nullptr);

// Empties `into`'s ListFileRows and fills it from the lines, appending each row's entry (kind 1, id = line,
// label = the number) to its RecipientList; its ListFileLongNumbers gets the numbers the rows had to cut. `step` runs
// once per line before it is read (the window posts its progress there); the loop stops early once `stop` (none
// by default) is asked for. Returns the rows stored.
int ReadListFileLines(ParsedRecipients& into, const QList<QByteArrayView>& lines,
                      const std::function<void()>& step = {}, const StopFlag* stop = nullptr);
// The same a line at a time, for a file read a piece at a time: constructing it empties `into`'s ListFileRows
// and ListFileLongNumbers; add() reads one line into a row and an entry.
class ListFileRowFill {
public:
    explicit ListFileRowFill(ParsedRecipients& into);
    void add(QByteArrayView line, int32_t index);
    int stored() const { return m_stored; }

private:
    ParsedRecipients& m_into;
    // The previous file's rows, emptied out: their nodes are refilled rather than freed and allocated
    // again, so a large list reloaded costs no fresh memory.
    std::map<int32_t, sLoadMt> m_spare;
    int m_stored = 0;
};
int ReadListFile(ParsedRecipients& into, const QByteArray& bytes);

// A list row's own text goes to the phone as it stands, so a control character in it (other than a tab or a
// line break, which a workbook's cell may hold) is refused as one typed into the message is. `content` is the
// row's second column; with `valuesOnly` (a "替代簡訊" template that takes the row's values) only the values
// between "$" are sent, the rest of the column is not looked at. The place (from 0) of the first such byte of
// `content`, or -1.
qsizetype FirstControlInRow(QByteArrayView content, bool valuesOnly);
// "發訊名單第 L 行有看不見的控制字元（U+001B），…", for the byte `c` of a row of line `line` (from 0).
QString ListRowControlText(qint64 line, char c);

// Fills the "$1$".."$9$" placeholders of `templ` with the "$"-delimited values of `content`; the
// content itself when it holds no value or the template has no "$1$". At most 959 bytes.
QByteArray SubstituteFields(QByteArrayView templ, QByteArrayView content);

// The number a message to a member goes to: after the first "@" up to ";", else up to the first ";".
QByteArray DefaultNumber(QByteArrayView msisdn);

// A ten-digit telephone number written in one piece trips the gateway's filter: false when a run of
// ASCII digits that begins with "0" reaches nine digits.
bool CheckDigitRuns(const QByteArray& text);

// With "替代簡訊": the message a recipient gets whose list line holds `content` (empty for a line without
// one and for every other recipient). SubstituteFields, then every placeholder of the template still
// without a value emptied; `missing` (may be null) gets their numbers. A line whose content holds no value,
// or a template without "$1$", keeps the line's content as its message, which leaves nothing missing.
QByteArray ReplacedMessage(QByteArrayView templ, QByteArrayView content, QList<int>* missing);

// What the send dialog contributes: its message text (Big5), the segmentation every recipient without a
// text of its own gets, and whether "替代簡訊" is checked.
struct ComposeInput {
    QByteArray text;
    Segments segments; // of the text, or with "替代簡訊" of the template with its placeholders empty
    bool replaceFields = false;
    QList<int> placeholders; // with "替代簡訊", the template's "$n$"

    static ComposeInput fromText(const QByteArray& text, bool replaceFields);
};

// The message every recipient without a text of its own gets: the text, or with "替代簡訊" the template with its
// placeholders empty.
QByteArray SharedMessage(const ComposeInput& input);

// The own message of a list-file row with content: the content itself, or with "替代簡訊" the
// message text with the row's values filled in (ReplacedMessage).
QByteArray RowMessage(QByteArrayView content, const ComposeInput& input);

// A message a phone would show as nothing: empty, or only spaces, tabs, line breaks and full-width spaces. The
// gateway refuses an empty one (code 4) however often it is sent again, and one of spaces goes out as a blank,
// billed message.
bool IsBlankText(QByteArrayView text);

// Recipients whose message is blank once its fields are filled in ("$1$" with no value, a row whose values are
// empty cells): never sent. The first is named by its list-file line, or else by its name or number.
struct BlankTexts {
    int count = 0;
    int32_t firstLine = -1; // the first one's list-file line, from 0; -1 when it is no list row
    QString firstWho;       // its name, or its number

    void add(int32_t line, const QString& who) {
        if (count++ > 0)
            return;
        firstLine = line;
        firstWho = who;
    }
};
// "2 位受訊者的訊息是空白的，不會傳送，第一筆在第 3 行" (or "…，第一位是 0912000001").
QString BlankTextsText(const BlankTexts& blank);
// What a run leaves out of them, said after its counts at its end: "略過 2 筆：空白訊息 2 筆".
QString BlankTextsEndNote(const BlankTexts& blank);

// List-file rows whose own text (the second column, or the message with the row's values) needs more than
// six short messages: the rest of each is not sent.
struct OverlongRows {
    int rows = 0;
    int32_t firstLine = -1; // the first such row's line, from 0

    void add(int32_t line) {
        if (rows++ == 0)
            firstLine = line;
    }
};

class OptOutList;

// Who a run leaves out before its first request. A recipient whose number (by NumberKey) and final text
// equal an earlier one's is a duplicate; one on the stop list is never sent.
struct RecipientFilter {
    const OptOutList* optOut = nullptr; // the stop list, or none
    bool keepDuplicates = false;        // a duplicate is sent all the same
    bool leaveOutOddNumbers = false;    // typed or listed text that is no number is left out (else it is sent)
    bool leaveOutEmptyFields = false;   // a recipient whose "替代簡訊" leaves a "$n$" empty is left out (else it is
                                        // sent with the field empty)
};

struct SendQueueResult {
    bool ok = true;
    QString message;                       // why the run was refused
    int recipients = 0;                    // messages in the run, one a recipient
    int totalCount = 0;                    // short messages in the run
    std::vector<QByteArray> queuedNumbers; // numbers queued, as they are sent, in order
    int missingEntries = 0;                // ids or rows that no longer exist, skipped
    QStringList skipped;                   // what was skipped and why, the first kNamedSkips of them
    OverlongRows overlong;                 // rows whose own text is cut after six short messages
    // With "替代簡訊": rows whose content goes out as written, having no "$" values or no "$1$" to fill.
    OverlongRows rowsAsWritten;
    int duplicates = 0;             // left out: the same number and text again
    int sameNumberOtherText = 0;    // sent: a number met before, with a text it had not had
    int optedOut = 0;               // left out: on the stop list
    QStringList optedOutNamed;      // those, "0912345678（王小明）", the first kNamedOptOuts of them
    OddNumbers odd;                 // typed or listed text that is no number, sent or left out
    int oddLeftOut = 0;             // of those, left out
    EmptyFields emptyFields;        // recipients whose "替代簡訊" leaves a "$n$" without a value
    QList<int> marksAsWritten;      // with "一般簡訊", the "$n$" of the message that recipients get as they are
    int firstEmptyFieldsEntry = -1; // the entry of RecipientList (by position) of the first of them
    int emptyFieldsLeftOut = 0;     // of those, left out
    BlankTexts blank;               // left out: their message is blank once filled in
    int firstBlankEntry = -1;       // the entry of RecipientList (by position) of the first of them
    bool link = false;              // a text of the run holds a link

    // Recipients left out, by the filter or for a blank message.
    int leftOut() const { return duplicates + optedOut + oddLeftOut + emptyFieldsLeftOut + blank.count; }
};

// Why a run has nothing to send: no recipient with a number, or every one left out (and why).
QString NothingToSendText(const SendQueueResult& result);

// How many skipped entries a run names; a damaged group of 1,000 slots would otherwise fill a screen.
constexpr int kNamedSkips = 10;
// Group slots a run reads before a group met again is no longer walked again: more than a book of a million
// members in groups of groups needs, and a bound of a second or two for a book whose groups hold each other many
// times over.
constexpr qint64 kGroupSlotsWalkedAgain = qint64(4) * 1000 * 1000;
// How many stopped recipients a run names in the operation log one by one.
constexpr int kNamedOptOuts = 10000;

// Expands a run entry by entry into outgoing records. Groups are expanded in slot order, each member's
// default number taken, recipients left out as `filter` says. An id that no longer exists (an entry of the
// run, a group's slot) is skipped and named; a number longer than 29 bytes refuses the whole run.
class SendQueueBuilder {
public:
    // `parsed`: the list file the entries of kind 1 name by line; none when no entry does.
    SendQueueBuilder(const AddressBook& book, const ComposeInput& input, const ParsedRecipients* parsed = nullptr,
                     const RecipientFilter& filter = {});

    bool addEntry(const sMtData& entry); // false once the run is refused
    bool ExpandGroup(int32_t groupId);

    const SendQueueResult& result() const { return m_result; }
    std::list<sSendContent>& queue() { return m_queue; }

    // Empties `previous` into a stock of records that the run refills before it allocates new ones.
    void reuse(std::list<sSendContent>& previous) { m_spare.splice(m_spare.end(), previous); }

    // Hands each record to `sink` as soon as it is complete instead of keeping it in queue(), and keeps
    // no list of the numbers queued: a run of any size then costs the duplicate check's set alone.
    void streamTo(std::function<void(const sSendContent& record)> sink) { m_sink = std::move(sink); }
    // Room in the duplicate check for `numbers` numbers, when the caller knows about how many come.
    void reserveNumbers(qsizetype numbers) { m_seen.reserve(numbers); }
    // Texts of recipients' own are kept for the duplicate check only for the keys in `keys`: those a streamed
    // run's list file holds more than once. Without it every such text is kept.
    void keepOwnTextsOnlyFor(const NumberSet* keys) { m_seen.keepOwnTextsOnlyFor(keys); }
    // A row of a list file read by the caller, as a list-file entry of RecipientList would add it.
    // `line` names the row's line in a refusal; -1 when the row did not come from the parsed ListFileRows.
    // A row whose own text would bring a phone a control character refuses the run (ListRowControlText).
    bool addListFileRow(const sLoadMt& row, int32_t line = -1);

private:
    // `nameIfMissing`: a member no longer in the book is named (false on a group's walk again).
    bool addMember(int32_t memberId, const sGroup* from = nullptr, bool nameIfMissing = true);
    void missingSlot(const sGroup* from, int32_t id);
    void skipped(const QString& text);
    bool addListRow(int32_t line);
    // A list row's own message, and the template's "$n$" it leaves without a value.
    struct OwnText {
        QByteArray text;
        QList<int> missing;
        bool rowsAsWritten = false; // "替代簡訊" fills nothing in: the row's content is sent as written
    };
    // One recipient, with the message field's text or (`own`) a text of its own: left out as the filter
    // says, else queued. `listLine`: the list-file line it comes from, or -1.
    bool offer(QByteArrayView written, uint8_t kind, QByteArrayView name, const OwnText* own = nullptr,
               int32_t listLine = -1);
    // Whether `number` is no number, counted and (by the filter) left out.
    bool leftOutAsOdd(const QByteArray& number, QByteArrayView written, uint8_t kind, int32_t listLine);
    // A recipient whose message leaves `missing` of the template's "$n$" empty, named; whether the filter leaves
    // it out.
    bool leftOutForEmptyFields(const QByteArray& number, uint8_t kind, QByteArrayView name, int32_t listLine,
                               const QList<int>& missing);
    // A recipient whose message is blank, counted and left out.
    bool leftOutAsBlank(bool blank, const QByteArray& number, uint8_t kind, QByteArrayView name, int32_t listLine);
    void noteLink(QByteArrayView text);
    // `listLine`: the list-file line the number comes from, named with its whole number.
    bool refuseIfTooLong(QByteArrayView number, int32_t listLine = -1);
    sSendContent& append(QByteArrayView number, uint8_t kind, QByteArrayView name);
    void complete(const sSendContent& record);

    const AddressBook& m_book;
    const ComposeInput& m_input;
    const ParsedRecipients* m_parsed;
    RecipientFilter m_filter;
    QList<int> m_marksAsWritten;  // with "一般簡訊", the message's "$n$"
    bool m_messageLooked = false; // the message field's text was looked at for a link
    bool m_sharedBlank = false;   // the message of every recipient without a text of its own is blank
    SendQueueResult m_result;
    std::list<sSendContent> m_queue;
    std::list<sSendContent> m_spare;
    SeenRecipients m_seen;
    std::function<void(const sSendContent& record)> m_sink;
    sSendContent m_streamed{}; // the record being made, when streaming
    int32_t m_records = 0;
    QSet<int32_t> m_expandedGroups;
    qint64 m_slotsWalked = 0; // group slots read in this run
};

// `parsed`'s RecipientList -> SendQueue. SendQueue is emptied first (its records are refilled rather than
// allocated again); on success it holds the run (seq from 0), when refused (a number too long, or no recipient
// with a number at all) it stays empty. The dialog builds the run before it hides itself, so a refusal leaves it
// open with its input.
SendQueueResult BuildSendQueue(const AddressBook& book, const ComposeInput& input, const ParsedRecipients& parsed,
                               std::list<sSendContent>& SendQueue, const RecipientFilter& filter = {});

} // namespace norvi
