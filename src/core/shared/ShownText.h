#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text that came from a file or the gateway is shown, never obeyed: a control character in a name, a
// number or a gateway reply would otherwise break a line, move the cursor of a terminal or hide the
// text after it. Such characters are written as "\xNN" wherever the user reads them.
namespace norvi {

// A character below U+0020, U+007F, or one of the C1 controls U+0080..U+009F.
bool isControlChar(char16_t c);
// A byte below 0x20 or 0x7F. Big5 trail bytes start at 0x40, so a double-byte character never has one.
inline bool isControlByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}
// The first control byte not in `allowed`, or -1.
qsizetype firstControlByte(QByteArrayView bytes, QByteArrayView allowed = {});

// Every control character as "\xNN" (two upper-case hex digits; C1 controls by their code point).
QString escapeControls(const QString& text);
// The same, but line feeds stay: for the program's own multi-line messages that quote a text.
QString escapeControlsKeepLines(const QString& text);
// Big5 bytes as the user reads them, controls escaped.
QString shownBig5(const QByteArray& bytes);

} // namespace norvi
