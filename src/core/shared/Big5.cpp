#include "core/shared/Big5.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace norvi {

namespace {
constexpr const char* kCodePage = "windows-950";
}

bool toBig5(const QString& text, QByteArray& out, QString* unmappable) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    out = encoder.encode(text);
    if (!encoder.hasError())
        return true;
    // Find the offending character one code point at a time; this path only runs on bad input.
    if (unmappable) {
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
            const QString ch = text.mid(i, len);
            QStringEncoder one(kCodePage, QStringConverter::Flag::Stateless);
            (void)QByteArray(one.encode(ch));
            if (one.hasError()) {
                *unmappable = ch;
                break;
            }
            i += len;
        }
    }
    out.clear();
    return false;
}

QByteArray big5(const QString& text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString fromBig5(const QByteArray& bytes) {
    return fromBig5(bytes.constData(), bytes.size());
}

QString fromBig5(const char* data, qsizetype size) {
    // A lead byte at the very end starts a character that never comes, and the decoder would keep it back
    // without a word: a line end after the text ends that character as an error, which shows.
    QStringDecoder decoder(kCodePage);
    QString text = decoder.decode(QByteArrayView(data, size));
    text += decoder.decode(QByteArrayView("\n", 1));
    text.chop(1);
    return text;
}

QString unmappableCode(const QString& character) {
    QString code;
    for (const char32_t cp : character.toUcs4())
        code += QStringLiteral("U+%1").arg(quint32(cp), 4, 16, QLatin1Char('0')).toUpper();
    return code;
}

QString unmappableMessage(const QString& character) {
    return QStringLiteral("文字「%1」(%2)無法以Big5碼表示，請改用其他文字。").arg(character, unmappableCode(character));
}

} // namespace norvi
