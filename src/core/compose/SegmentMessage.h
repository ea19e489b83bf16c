#pragma once

#include "core/compose/RecipientRecords.h"

#include <QByteArray>
#include <QByteArrayView>

namespace norvi {

// Cuts a NUL-terminated Big5 text into at most six short messages of the 966-byte segment block and
// returns how many are needed (1 to 6). Callers start with n = 1 on a zero-filled block; only
// segments n..N are written. A cut message carries the part header "k/N-" in the first four bytes
// of every segment; text beyond six segments is dropped. Never allocates.
int SegmentMessage(const char* text, char* block, int n);

// The same for a text held as bytes (up to its first zero byte, if any), written from segment 1 on;
// needs no terminator, so a full fixed-width field can be passed as it is.
int SegmentBytes(QByteArrayView text, char* block);

// How many bytes of `text` fit into `maxBytes` without cutting a two-byte Big5 character in half: a
// lead byte is kept only together with the byte after it. A text that fits is kept whole.
qsizetype WholeCharsLength(QByteArrayView text, qsizetype maxBytes);

// A segment block with its count, for callers that hold the text as a byte array.
struct Segments {
    char block[kSegmentBlockSize];
    int count;
};

Segments segment(QByteArrayView text);

// Whether the `count` short messages of `block`, the segmentation of `text`, leave part of it out: only
// six are ever made, and the rest of a longer text is not sent.
bool CutAfterSix(QByteArrayView text, const char* block, int count);
// The same for a text not segmented yet; a text short enough to fit is not segmented at all.
bool NeedsMoreThanSix(QByteArrayView text);

// Segment k (1-based) of a block as stored: header included, up to its terminating zero.
QByteArray segmentText(const char* block, int k);

} // namespace norvi
