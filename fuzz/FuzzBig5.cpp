// The Big5 conversions and the encoding checks of input files. Whatever the bytes: a text the line check
// passes as Big5 decodes without a replacement character and encodes back to text that decodes the same;
// one it passes as UTF-8 converts to a string and back to the same bytes; the line number a check gives is
// the first line that fails on its own. Any string's conversion to Big5 either succeeds and decodes back
// to it, or names a character that has no Big5 form.

#include "FuzzCheck.h"

#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"
#include "core/workers/SendThd.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

using namespace norvi;

namespace {

bool big5Roundtrips(const QByteArray& bytes) {
    const QString text = fromBig5(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        return false;
    QByteArray back;
    return toBig5(text, back) && fromBig5(back) == text;
}

// The line number of the first line that fails `ok` when checked alone, or 0.
template <typename Check> int firstFailing(const QByteArray& bytes, Check ok) {
    const QList<QByteArrayView> lines = SplitListFileLines(bytes);
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!ok(lines.at(i).toByteArray()))
            return int(i) + 1;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const int big5Line = FirstNonBig5Line(bytes);
    FUZZ_CHECK(big5Line == firstFailing(bytes, [](const QByteArray& line) { return FirstNonBig5Line(line) == 0; }));
    if (big5Line == 0) {
        FUZZ_CHECK(!bytes.contains('\0'));
        FUZZ_CHECK(big5Roundtrips(bytes));
    }
    const int utf8Line = FirstNonUtf8Line(bytes);
    FUZZ_CHECK(utf8Line == firstFailing(bytes, [](const QByteArray& line) { return FirstNonUtf8Line(line) == 0; }));
    if (utf8Line == 0) {
        FUZZ_CHECK(!bytes.contains('\0'));
        FUZZ_CHECK(QString::fromUtf8(bytes).toUtf8() == bytes);
    }

    // The same bytes as a string typed by the user: Big5 or a named character without a Big5 form.
    const QString typed = QString::fromUtf8(bytes);
    QByteArray big5Bytes;
    QString unmappable;
    if (toBig5(typed, big5Bytes, &unmappable)) {
        FUZZ_CHECK(fromBig5(big5Bytes) == typed);
    } else {
        FUZZ_CHECK(!unmappable.isEmpty() && typed.contains(unmappable));
        QByteArray alone;
        FUZZ_CHECK(!toBig5(unmappable, alone));
    }

    // A report line cut to its field keeps whole characters and never grows.
    for (const int width : {0, 1, 2, 7, 1023}) {
        const QByteArray cut = CutBig5(bytes, width);
        FUZZ_CHECK(cut.size() <= qMax<qsizetype>(width, 0) || bytes.size() <= width);
        FUZZ_CHECK(bytes.startsWith(cut));
    }
    return 0;
}
