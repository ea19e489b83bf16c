// Cutting a text into short messages. Whatever the bytes: 1 to 6 segments, each at most 159 bytes with
// its header, the headers "k/N-" of a cut message, no two-byte character split between segments, and the
// pieces joined give the text (up to its first zero byte) from its start, all of it unless six segments
// were not enough. The byte form and the zero-terminated form agree.

#include "FuzzCheck.h"

#include "core/compose/SegmentMessage.h"
#include "core/shared/Big5.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>

using namespace norvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Segments s = segment(bytes);
    FUZZ_CHECK(s.count >= 1 && s.count <= kSegmentCount);

    // The same through the zero-terminated entry point.
    char block[kSegmentBlockSize];
    std::memset(block, 0, sizeof block);
    const QByteArray terminated = bytes + '\0';
    FUZZ_CHECK(SegmentMessage(terminated.constData(), block, 1) == s.count);
    FUZZ_CHECK(std::memcmp(block, s.block, sizeof block) == 0);

    const QByteArray text = bytes.left(qsizetype(strnlen(bytes.constData(), std::size_t(bytes.size()))));
    QByteArray joined;
    for (int k = 1; k <= kSegmentCount; ++k) {
        const QByteArray stored = segmentText(s.block, k);
        if (k > s.count) {
            FUZZ_CHECK(stored.isEmpty());
            continue;
        }
        FUZZ_CHECK(stored.size() <= 159);
        QByteArray piece = stored;
        if (s.count > 1) {
            const QByteArray header = QByteArray::number(k) + '/' + QByteArray::number(s.count) + '-';
            FUZZ_CHECK(stored.startsWith(header));
            piece = stored.mid(4);
        }
        // A piece never ends on the lead byte of a character whose second byte went to the next piece.
        if (k < s.count) {
            int pos = 0;
            while (pos < piece.size())
                pos += isBig5LeadByte(uchar(piece[pos])) ? 2 : 1;
            FUZZ_CHECK(pos == piece.size()); // the last character of the piece is whole
        }
        joined += piece;
    }
    FUZZ_CHECK(text.startsWith(joined));
    if (s.count < kSegmentCount)
        FUZZ_CHECK(joined == text);
    return 0;
}
