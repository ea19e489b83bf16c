#include "core/shared/ShownText.h"

#include "core/shared/Big5.h"

namespace norvi {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

QString escape(const QString& text, bool keepLines) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto kept = [keepLines](char16_t c) { return !isControlChar(c) || (keepLines && c == u'\n'); };
    // Almost every text has no control character: hand it back without a copy.
    while (i < n && kept(text.at(i).unicode()))
        ++i;
    if (i == n)
        return text;
    QString out = text.left(i);
    out.reserve(n + 8);
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (kept(c))
            out += QChar(c);
        else
            out += QLatin1String("\\x") + QLatin1Char(kHex[(c >> 4) & 0xF]) + QLatin1Char(kHex[c & 0xF]);
    }
    return out;
}

} // namespace

bool isControlChar(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

qsizetype firstControlByte(QByteArrayView bytes, QByteArrayView allowed) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (isControlByte(bytes[i]) && allowed.indexOf(bytes[i]) < 0)
            return i;
    return -1;
}

QString escapeControls(const QString& text) {
    return escape(text, false);
}

QString escapeControlsKeepLines(const QString& text) {
    return escape(text, true);
}

QString shownBig5(const QByteArray& bytes) {
    return escapeControls(fromBig5(bytes));
}

} // namespace norvi
