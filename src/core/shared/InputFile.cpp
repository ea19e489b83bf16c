#include "core/shared/InputFile.h"

#include "core/shared/Big5.h"
#include "core/shared/PlainFile.h"
#include "core/shared/SystemErrorText.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace norvi {

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
// Text is checked in pieces of about this size, cut at line ends, so a large file needs neither one
// decoder per line nor its whole decoded text at once.
constexpr qsizetype kCheckChunk = 1024 * 1024;

using LineCheck = bool (*)(QByteArrayView);

bool isInputLineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool isBig5Trail(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFE);
}

} // namespace

// The code page also maps the single bytes 0x80 and 0xFF, which no Big5 text holds; the byte structure
// is checked first, the assigned codes by the codec.
bool IsBig5Text(QByteArrayView text) {
    for (qsizetype i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (!isBig5LeadByte(c) || i + 1 >= text.size() || !isBig5Trail(static_cast<unsigned char>(text[i + 1])))
            return false;
        i += 2;
    }
    QStringDecoder decoder("windows-950", QStringConverter::Flag::Stateless);
    (void)QString(decoder.decode(text));
    return !decoder.hasError();
}

bool IsUtf8Text(QByteArrayView text) {
    if (text.contains('\0'))
        return false;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    (void)QString(decoder.decode(text));
    return !decoder.hasError();
}

namespace {

// Where the piece that starts at `start` ends: after the first line end at or past start + kCheckChunk
// (a CR LF kept together), or at the end of the text. Neither encoding has a line-end byte inside a
// character, so a piece is valid exactly when each of its lines is.
qsizetype pieceEnd(QByteArrayView text, qsizetype start) {
    qsizetype i = std::min(text.size(), start + kCheckChunk);
    while (i < text.size() && !isInputLineEnd(text[i]))
        ++i;
    if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    return std::min(text.size(), i + 1);
}

// The number of the first line of a piece that fails, its lines numbered on from `number`.
int firstFailingLineInPiece(QByteArrayView piece, int number, LineCheck valid) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (!isInputLineEnd(piece[i]))
            continue;
        if (!valid(piece.sliced(start, i - start)))
            return number;
        if (piece[i] == '\r' && i + 1 < piece.size() && piece[i + 1] == '\n')
            ++i;
        start = i + 1;
        ++number;
    }
    return number; // the last line, which has no line end
}

int countLines(QByteArrayView piece) {
    int ends = 0;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (!isInputLineEnd(piece[i]))
            continue;
        if (piece[i] == '\r' && i + 1 < piece.size() && piece[i + 1] == '\n')
            ++i;
        ++ends;
    }
    return ends;
}

int firstFailingLine(const QByteArray& bytes, LineCheck valid) {
    const QByteArrayView text(bytes);
    int number = 1;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype end = pieceEnd(text, start);
        const QByteArrayView piece = text.sliced(start, end - start);
        if (!valid(piece))
            return firstFailingLineInPiece(piece, number, valid);
        number += countLines(piece);
        start = end;
    }
    return 0;
}

} // namespace

namespace {

QString notAFileReason(unsigned mode) {
    return QStringLiteral("這是%1，不是一般檔案").arg(FileKindOfMode(mode));
}

// What stands at a name that could not be opened: a socket cannot be opened at all, and is named for what
// it is rather than by the error number.
int openFailure(const QByteArray& name, QString* reason, bool* notAFile) {
    const int error = errno;
    struct stat st {};
    const bool special = ::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode);
    if (notAFile)
        *notAFile = special;
    if (reason)
        *reason = special ? notAFileReason(st.st_mode) : SystemErrorText(error);
    return -1;
}

} // namespace

int OpenInputFile(const QString& path, QString* reason, bool* notAFile) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return openFailure(name, reason, notAFile);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return openFailure(name, reason, notAFile);
    }
    if (S_ISREG(st.st_mode))
        return fd;
    ::close(fd);
    if (notAFile)
        *notAFile = true;
    if (reason)
        *reason = notAFileReason(st.st_mode);
    return -1;
}

QString InputRefusalText(const QString& path, const QString& reason) {
    return QStringLiteral("無法讀取檔案 %1：%2。").arg(path, reason);
}

InputRead ReadInputFile(const QString& path, qint64 limit, QByteArray* bytes, QString* refusal, QString* reason) {
    bytes->clear();
    QString why;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &why, &notAFile);
    if (fd < 0) {
        if (refusal)
            *refusal = InputRefusalText(path, why);
        if (reason)
            *reason = why;
        return notAFile ? InputRead::NotAFile : InputRead::CannotOpen;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        ::close(fd);
        if (reason)
            *reason = SystemErrorText(error);
        return InputRead::CannotOpen;
    }
    if (file.size() > limit)
        return InputRead::TooLarge;
    // Read into one buffer that doubles as it fills: no copy per chunk. The file may still grow while it
    // is read; it never grows past the limit here.
    QByteArray data;
    qint64 have = 0;
    for (;;) {
        if (have == data.size())
            data.resize(std::min(limit + 1, std::max(kReadChunk, 2 * have)));
        const qint64 n = file.read(data.data() + have, data.size() - have);
        if (n < 0 && reason)
            *reason = SystemErrorText(errno); // the failed read's own number, before anything else runs
        if (n <= 0)
            break;
        have += n;
        if (have > limit)
            return InputRead::TooLarge;
    }
    data.resize(have);
    if (file.error() != QFileDevice::NoError)
        return InputRead::ReadError;
    *bytes = data;
    return InputRead::Ok;
}

int FirstNonBig5Line(const QByteArray& bytes) {
    return firstFailingLine(bytes, IsBig5Text);
}

int FirstNonUtf8Line(const QByteArray& bytes) {
    return firstFailingLine(bytes, IsUtf8Text);
}

} // namespace norvi
