#pragma once

#include "core/shared/Big5.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstring>

// Bounded copies into the fixed-width text fields of records, and bounded reads out of them.
// A text longer than its field is cut at the width; a text that fills the field has no
// terminating zero; the rest of the field is zero. A reader takes the text up to the first zero
// or the end of the field, whichever comes first. Every record reader and writer goes through here.
namespace norvi {

inline void putField(char* field, std::size_t width, const char* text, std::size_t length) {
    const std::size_t n = length < width ? length : width;
    if (n)
        std::memcpy(field, text, n);
    if (n < width)
        std::memset(field + n, 0, width - n);
}

inline void putField(char* field, std::size_t width, const QByteArray& text) {
    putField(field, width, text.constData(), std::size_t(text.size()));
}

inline QByteArray getField(const char* field, std::size_t width) {
    const void* zero = std::memchr(field, 0, width);
    const std::size_t n = zero ? std::size_t(static_cast<const char*>(zero) - field) : width;
    return QByteArray(field, qsizetype(n));
}

template <std::size_t N> void putField(char (&field)[N], const QByteArray& text) {
    putField(field, N, text);
}

template <std::size_t N> QByteArray getField(const char (&field)[N]) {
    return getField(field, N);
}

// For the Big5 texts of a record: a text longer than its field is cut before a character that would not fit
// whole, so the field never ends in half a character that reads back as garbage. A text that fits is kept
// as it is, whatever its bytes.
inline std::size_t big5FitLength(QByteArrayView text, std::size_t width) {
    const auto length = std::size_t(text.size());
    if (length <= width)
        return length;
    std::size_t i = 0;
    while (i < width) {
        const std::size_t step = isBig5LeadByte(static_cast<unsigned char>(text[qsizetype(i)])) ? 2 : 1;
        if (i + step > width)
            break;
        i += step;
    }
    return i;
}

template <std::size_t N> void putBig5Field(char (&field)[N], const QByteArray& text) {
    putField(field, N, text.constData(), big5FitLength(text, N));
}

// For the fields that the system keeps NUL-terminated (the worker's records): at most N - 1 bytes.
template <std::size_t N> void putCString(char (&field)[N], const QByteArray& text) {
    const std::size_t n = std::size_t(text.size()) < N - 1 ? std::size_t(text.size()) : N - 1;
    putField(field, N, text.constData(), n);
}

// The same for a Big5 text (a name, a label): at most N - 1 bytes, never half a character.
template <std::size_t N> void putBig5CString(char (&field)[N], QByteArrayView text) {
    putField(field, N, text.data(), big5FitLength(text, N - 1));
}

} // namespace norvi
