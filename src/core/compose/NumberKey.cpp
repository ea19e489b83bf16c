#include "core/compose/NumberKey.h"

#include "core/compose/OddNumbers.h"

namespace norvi {

namespace {

bool isNumberSeparator(char c) {
    return c == ' ' || c == '-' || c == '.' || c == '(' || c == ')' || c == '[' || c == ']';
}

QByteArray withoutSeparators(QByteArrayView written) {
    QByteArray out;
    out.reserve(written.size());
    for (const char c : written)
        if (!isNumberSeparator(c))
            out.append(c);
    return out;
}

bool allDigits(QByteArrayView text) {
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// 9 and eight more digits after a Taiwan country prefix: the mobile number 09xxxxxxxx.
constexpr qsizetype kMobileAfterPrefix = 9;

} // namespace

QByteArray NumberKey(QByteArrayView written) {
    QByteArray key = withoutSeparators(written);
    for (const QByteArrayView prefix : {QByteArrayView("+886"), QByteArrayView("00886"), QByteArrayView("886")}) {
        if (!key.startsWith(prefix))
            continue;
        const QByteArrayView rest = QByteArrayView(key).sliced(prefix.size());
        if (rest.size() == kMobileAfterPrefix && rest.front() == '9' && allDigits(rest))
            return '0' + rest.toByteArray();
        // The trunk 0 is often kept after the country code (+886 0912...): still the same phone, which a
        // stop list entry written that way must stop and a run must not text twice.
        if (rest.size() == kMobileAfterPrefix + 1 && rest.startsWith("09") && allDigits(rest))
            return rest.toByteArray();
    }
    return key;
}

QByteArray SentNumber(QByteArrayView written) {
    const QByteArrayView trimmed = written.trimmed();
    if (IsPhoneNumber(trimmed))
        return trimmed.toByteArray();
    QByteArray plain = withoutSeparators(trimmed);
    return IsPhoneNumber(plain) ? plain : trimmed.toByteArray();
}

} // namespace norvi
