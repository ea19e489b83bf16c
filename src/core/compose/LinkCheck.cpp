#include "core/compose/LinkCheck.h"

#include "core/shared/Big5.h"

#include <QByteArray>

namespace norvi {

namespace {

const char* const kLinkMarks[] = {"http",    "www.",        "reurl.cc", "bit.ly", "tinyurl.com",
                                  "goo.gl",  "lihi.cc",     "lihi1.cc", "ppt.cc", "pse.is",
                                  "cutt.ly", "shorturl.at", "is.gd",    "rb.gy",  "t.ly"};

} // namespace

bool HoldsLink(QByteArrayView big5Text) {
    // The one-byte characters alone, lower case: the second byte of a Big5 character may be a letter, and a
    // link never runs through one.
    QByteArray ascii;
    ascii.reserve(big5Text.size());
    for (qsizetype i = 0; i < big5Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(big5Text[i]);
        if (isBig5LeadByte(c) && i + 1 < big5Text.size()) {
            ascii.append(' ');
            ++i;
            continue;
        }
        ascii.append(char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
    }
    for (const char* mark : kLinkMarks)
        if (ascii.contains(mark))
            return true;
    return false;
}

QString LinkWarningText() {
    return QStringLiteral("訊息含有網址，收訊人可能當成詐騙簡訊");
}

} // namespace norvi
