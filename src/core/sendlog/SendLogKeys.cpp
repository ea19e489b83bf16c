#include "core/sendlog/SendLogKeys.h"

#include "core/shared/Big5.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace norvi {

namespace {

inline unsigned char foldAsciiLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

// The first position from `from` on where the texts differ, or n. Eight bytes at a time: the texts of a
// log often share long beginnings (one message sent to many people).
qsizetype firstDifference(const unsigned char* a, const unsigned char* b, qsizetype from, qsizetype n) {
    qsizetype i = from;
    for (; i + 8 <= n; i += 8) {
        quint64 wa, wb;
        std::memcpy(&wa, a + i, 8);
        std::memcpy(&wb, b + i, 8);
        if (wa != wb) // the lowest differing byte in memory order is the first difference
            return i + qsizetype(qCountTrailingZeroBits(qFromLittleEndian(wa) ^ qFromLittleEndian(wb)) / 8);
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

int compareSendLogKeys(const QByteArray& a, const QByteArray& b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(a.constData());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.constData());
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = firstDifference(pa, pb, 0, n); i < n; i = firstDifference(pa, pb, i + 1, n)) {
        unsigned char ca = pa[i];
        unsigned char cb = pb[i];
        // Folding only matters when a lower-case letter is involved, and only outside a Big5 character:
        // its second byte may look like an ASCII letter but compares by value. Byte i is such a second byte
        // when an odd run of lead-range bytes precedes it (the byte before the run cannot start a
        // character, so the run pairs up from its start). Bytes before i are equal up to the case of ASCII
        // letters, which are never lead bytes, so the run is the same in both texts.
        if (foldAsciiLetter(ca) != ca || foldAsciiLetter(cb) != cb) {
            qsizetype run = 0;
            while (run < i && isBig5LeadByte(pa[i - 1 - run]))
                ++run;
            if (run % 2 == 0) {
                ca = foldAsciiLetter(ca);
                cb = foldAsciiLetter(cb);
            }
        }
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// ASCII letters folded, second bytes of Big5 characters kept; zero padding agrees with "a proper prefix
// first".
quint64 sendLogKeyPrefix(const QByteArray& key) {
    quint64 prefix = 0;
    bool second = false;
    const qsizetype n = std::min<qsizetype>(key.size(), 8);
    for (qsizetype i = 0; i < 8; ++i) {
        unsigned char c = 0;
        if (i < n) {
            c = static_cast<unsigned char>(key[i]);
            if (!second)
                c = foldAsciiLetter(c);
            second = !second && isBig5LeadByte(static_cast<unsigned char>(key[i]));
        }
        prefix = (prefix << 8) | c;
    }
    return prefix;
}

} // namespace norvi
