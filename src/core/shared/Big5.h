#pragma once

#include <QByteArray>
#include <QString>

// The one place where text crosses between Big5 (code page 950) bytes and the toolkit's strings.
// Records, files and the wire keep Big5 bytes; widgets, paths and the terminal get QString.
namespace norvi {

// Converts to Big5. A character without a Big5 form is never replaced by "?": the conversion fails,
// and `unmappable` (when given) receives the first such character so the caller can name it.
bool toBig5(const QString& text, QByteArray& out, QString* unmappable = nullptr);

// Converts to Big5 for the program's own texts, which are known to have a Big5 form.
QByteArray big5(const QString& text);
inline QByteArray big5(const char* utf8) {
    return big5(QString::fromUtf8(utf8));
}

// Converts Big5 bytes for display. Bytes that do not form a Big5 character show as U+FFFD.
QString fromBig5(const QByteArray& bytes);
QString fromBig5(const char* data, qsizetype size);

// The message a place that accepts typed text shows for a character without a Big5 form.
QString unmappableMessage(const QString& character);
// The character's code points as "U+XXXX", for messages that name it.
QString unmappableCode(const QString& character);

// The Big5 lead-byte test of code page 950: 0x81..0xFE begins a two-byte character.
inline bool isBig5LeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

} // namespace norvi
