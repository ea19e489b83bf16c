// A recipient list file as the program reads it. Whatever the bytes: a file with a NUL byte is refused by
// the line that holds it; otherwise every non-blank line becomes exactly one row under its own index,
// whose number is that line's first column (trimmed, cut to 30 bytes, never holding a NUL) and whose
// content is the rest, and the recipient field gets one entry per row. A run built from the rows queues
// each number once unless the row carries its own text, and never a number the file does not hold.

#include "FuzzCheck.h"

#include "core/compose/NumberKey.h"

#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/FixedField.h"

#include <QByteArray>

#include <cstdint>
#include <set>

using namespace norvi;

namespace {

bool blank(QByteArrayView line) {
    for (const char c : line)
        if (static_cast<unsigned char>(c) > 0x20)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArrayView> lines = SplitListFileLines(bytes);
    FUZZ_CHECK(lines.size() == CountListFileLines(bytes));

    const qsizetype nulLine = FirstListLineWithNul(bytes);
    FUZZ_CHECK((nulLine > 0) == bytes.contains('\0'));
    if (nulLine > 0) {
        FUZZ_CHECK(nulLine <= lines.size());
        FUZZ_CHECK(lines.at(nulLine - 1).contains('\0'));
        for (qsizetype i = 0; i < nulLine - 1; ++i)
            FUZZ_CHECK(!lines.at(i).contains('\0'));
    }

    ParsedRecipients parsed;
    const auto& ListFileRows = parsed.ListFileRows;
    const auto& RecipientList = parsed.RecipientList;
    const int stored = ReadListFile(parsed, bytes);
    FUZZ_CHECK(stored == int(ListFileRows.size()));
    FUZZ_CHECK(RecipientList.size() == ListFileRows.size());
    std::set<QByteArray> numbersInFile;
    int expected = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines.at(i);
        const bool row = !blank(line) && !line.contains('\0');
        expected += row ? 1 : 0;
        FUZZ_CHECK(ListFileRows.count(int32_t(i)) == (row ? 1u : 0u));
        if (!row)
            continue;
        const sLoadMt& r = ListFileRows.at(int32_t(i));
        FUZZ_CHECK(r.line == int32_t(i));
        const QByteArray number = getField(r.msisdn);
        const QByteArray content = getField(r.content);
        // The number is a piece of the line in front of the content, and never holds a separator.
        FUZZ_CHECK(line.toByteArray().contains(number));
        FUZZ_CHECK(!number.contains(' ') && !number.contains(','));
        FUZZ_CHECK(number.size() <= 30 && content.size() <= 960);
        if (!content.isEmpty())
            FUZZ_CHECK(line.toByteArray().contains(content));
        // A number written with separators goes without them.
        numbersInFile.insert(SentNumber(number).left(kMaxNumberLength));
        numbersInFile.insert(number.left(kMaxNumberLength));
    }
    FUZZ_CHECK(stored == expected);
    auto entry = RecipientList.begin();
    for (const auto& [line, row] : ListFileRows) {
        FUZZ_CHECK(entry->kind == KindListRow && entry->id == line);
        FUZZ_CHECK(getField(entry->label) == getField(row.msisdn).left(int(sizeof entry->label) - 1));
        ++entry;
    }

    const AddressBook noBook;
    // The run: only numbers of the file, and never one number with the same text twice (the same number
    // with another text is a message of its own).
    std::list<sSendContent> SendQueue;
    const SendQueueResult queued = BuildSendQueue(noBook, ComposeInput::fromText("hello $1$", true), parsed, SendQueue);
    if (queued.ok) {
        std::set<QByteArray> messages;
        for (const sSendContent& record : SendQueue) {
            const QByteArray number = getField(record.msisdn);
            FUZZ_CHECK(numbersInFile.count(number) == 1);
            FUZZ_CHECK(record.segmentCount >= 1 && record.segmentCount <= kSegmentCount);
            QByteArray message = number + '\0';
            for (int k = 0; k < record.segmentCount && k < kSegmentCount; ++k)
                message += getField(record.segments[k]) + '\0';
            FUZZ_CHECK(messages.insert(message).second);
        }
    }
    return 0;
}
