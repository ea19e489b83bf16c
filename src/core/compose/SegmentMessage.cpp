#include "core/compose/SegmentMessage.h"

#include "core/shared/Big5.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace norvi {

namespace {

// Six segments never hold more than 930 bytes, so no result depends on text past this length.
constexpr std::size_t kWorkingLength = 999;

constexpr int kSingleWideChars = 70; // a whole message with a Big5 character
constexpr int kSingleNarrowBytes = 159;
constexpr int kPieceWideChars = 66; // a piece of a cut message, after the 4 header bytes
constexpr int kPieceNarrowBytes = 155;
constexpr int kHeaderBytes = 4;

bool isWideByte(unsigned char c) {
    return c >= 0x80;
}

// A lead byte and the byte after it are one character; a lead byte that ends the text is not counted.
// Counting ends once it passes `stopAfter`, so a check against a limit reads no further than the character
// past it.
int countChars(const unsigned char* text, std::size_t length, int stopAfter = INT_MAX) {
    int chars = 0;
    for (std::size_t i = 0; i < length && chars <= stopAfter;) {
        if (isBig5LeadByte(text[i])) {
            if (i + 1 >= length)
                break;
            i += 2;
        } else {
            ++i;
        }
        ++chars;
    }
    return chars;
}

// Whether countChars() of the text is at most `limit`.
bool charsAtMost(const unsigned char* text, std::size_t length, int limit) {
    return countChars(text, length, limit) <= limit;
}

// Index of the first byte >= 0x80, or `length` when the text is all one-byte characters.
std::size_t firstWideIndex(const unsigned char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (isWideByte(text[i]))
            return i;
    return length;
}

// The characters of the next piece of a text too long for one: a leading run of 65 or more one-byte
// characters gets a piece of its own so it keeps the one-byte limit instead of being counted against the
// Big5 one. `firstWide` is the index of the text's first double-byte character.
int pieceCut(bool hasWide, std::size_t firstWide) {
    if (!hasWide || firstWide >= std::size_t(kPieceNarrowBytes))
        return kPieceNarrowBytes;
    if (firstWide >= 65)
        return int(firstWide);
    return kPieceWideChars;
}

// Bytes taken by the first `chars` characters, never splitting a double-byte character.
std::size_t bytesOfChars(const unsigned char* text, std::size_t length, int chars) {
    std::size_t i = 0;
    for (int taken = 0; taken < chars && i < length; ++taken) {
        if (isBig5LeadByte(text[i])) {
            if (i + 1 >= length)
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    return i;
}

// Bytes of the longest start of the text within `maxBytes` that ends on a character boundary.
std::size_t bytesWithin(const unsigned char* text, std::size_t length, std::size_t maxBytes) {
    if (length <= maxBytes)
        return length;
    std::size_t i = 0;
    while (i < maxBytes) {
        const std::size_t step = isBig5LeadByte(text[i]) ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return i;
}

char* segmentAt(char* block, int n) {
    return block + (n - 1) * kSegmentSize;
}

void writeHeader(char* segment, int n, int total) {
    segment[0] = char('0' + n);
    segment[1] = '/';
    segment[2] = char('0' + total);
    segment[3] = '-';
}

void writePiece(char* segment, std::size_t offset, const unsigned char* text, std::size_t length) {
    std::memset(segment, 0, kSegmentSize);
    std::memcpy(segment + offset, text, length);
}

int segmentFrom(const unsigned char* text, std::size_t length, char* block, int n) {
    if (n > kSegmentCount)
        return kSegmentCount;

    const int chars = countChars(text, length);
    const std::size_t firstWide = firstWideIndex(text, length);
    const bool hasWide = firstWide < length;
    char* segment = segmentAt(block, n);

    if (n == 1 && (chars <= kSingleWideChars || (!hasWide && length <= std::size_t(kSingleNarrowBytes)))) {
        writePiece(segment, 0, text, length);
        return 1;
    }
    if (n >= 2 && (chars <= kPieceWideChars || (!hasWide && length <= std::size_t(kPieceNarrowBytes)))) {
        writePiece(segment, kHeaderBytes, text, length);
        writeHeader(segment, n, n);
        return n;
    }

    const std::size_t used = bytesOfChars(text, length, pieceCut(hasWide, firstWide));
    writePiece(segment, kHeaderBytes, text, used);
    const int total = segmentFrom(text + used, length - used, block, n + 1);
    writeHeader(segment, n, total);
    return total;
}

} // namespace

int SegmentMessage(const char* text, char* block, int n) {
    if (n < 1)
        n = 1;
    const std::size_t length = text ? strnlen(text, kWorkingLength) : 0;
    return segmentFrom(reinterpret_cast<const unsigned char*>(text ? text : ""), length, block, n);
}

int SegmentBytes(QByteArrayView text, char* block) {
    const char* data = text.isEmpty() ? "" : text.data();
    std::size_t length = std::min<std::size_t>(std::size_t(text.size()), kWorkingLength);
    if (const void* zero = std::memchr(data, 0, length))
        length = std::size_t(static_cast<const char*>(zero) - data);
    return segmentFrom(reinterpret_cast<const unsigned char*>(data), length, block, 1);
}

qsizetype WholeCharsLength(QByteArrayView text, qsizetype maxBytes) {
    if (maxBytes <= 0 || text.isEmpty())
        return 0;
    return qsizetype(bytesWithin(reinterpret_cast<const unsigned char*>(text.data()), std::size_t(text.size()),
                                 std::size_t(maxBytes)));
}

Segments segment(QByteArrayView text) {
    Segments s;
    std::memset(s.block, 0, sizeof s.block);
    s.count = SegmentBytes(text, s.block);
    return s;
}

QByteArray segmentText(const char* block, int k) {
    if (k < 1 || k > kSegmentCount)
        return {};
    const char* segment = block + (k - 1) * kSegmentSize;
    return QByteArray(segment, qsizetype(strnlen(segment, kSegmentSize)));
}

bool CutAfterSix(QByteArrayView text, const char* block, int count) {
    if (count < kSegmentCount)
        return false;
    const qsizetype nul = text.indexOf('\0');
    const qsizetype length = nul < 0 ? text.size() : nul;
    qsizetype kept = 0;
    for (int k = 1; k <= count; ++k)
        kept += qsizetype(strnlen(block + std::ptrdiff_t(k - 1) * kSegmentSize, kSegmentSize)) - kHeaderBytes;
    return kept < length;
}

// The cutting of segmentFrom() walked without writing a block: each step looks only at the characters it
// takes and the few after them, so a text costs one pass over its bytes. The send dialog runs it over every
// row of a list of 100,000 when the list or the message changes.
bool NeedsMoreThanSix(QByteArrayView text) {
    // Every piece of a cut message holds at least 65 characters and at most 155 bytes: six hold any text
    // of 390 bytes, and none of more than 930.
    constexpr qsizetype kAlwaysFits = qsizetype(6) * 65;
    constexpr qsizetype kNeverFits = qsizetype(kSegmentCount) * kPieceNarrowBytes;
    const qsizetype nul = text.indexOf('\0');
    const qsizetype whole = nul < 0 ? text.size() : nul;
    if (whole <= kAlwaysFits)
        return false;
    if (whole > kNeverFits)
        return true;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t length = std::size_t(whole);
    std::size_t wide = firstWideIndex(p, length); // of the rest of the text, kept as the pieces go
    for (int n = 1; n <= kSegmentCount; ++n) {
        const int maxChars = n == 1 ? kSingleWideChars : kPieceWideChars;
        const std::size_t maxBytes = std::size_t(n == 1 ? kSingleNarrowBytes : kPieceNarrowBytes);
        const bool hasWide = wide < length;
        if ((!hasWide && length <= maxBytes) || charsAtMost(p, length, maxChars))
            return false;
        const std::size_t used = bytesOfChars(p, length, pieceCut(hasWide, wide));
        p += used;
        length -= used;
        wide = wide >= used ? wide - used : firstWideIndex(p, length);
    }
    return length > 0;
}

} // namespace norvi
