#include "core/exchange/AddressText.h"

#include "core/exchange/ExchangeState.h"
#include "core/shared/Big5.h"
#include "core/shared/CappedLines.h"
#include "core/shared/InputFile.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace norvi {

namespace {

constexpr const char* kTextCodePage = "windows-950";
constexpr char kBom[] = "\xEF\xBB\xBF";

bool isTextLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool isTextLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}
bool isCrLf(char a, char b) {
    return a == '\r' && b == '\n';
}
bool isCrLf(QChar a, QChar b) {
    return a == QLatin1Char('\r') && b == QLatin1Char('\n');
}

// Lines of bytes or of characters alike: CR LF, LF or CR ends one; a final line end adds no line.
template <typename View> QList<View> splitLines(View text) {
    QList<View> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isTextLineEnd(text[i]))
            continue;
        lines.append(text.sliced(start, i - start));
        if (i + 1 < text.size() && isCrLf(text[i], text[i + 1]))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

bool isAscii(QByteArrayView text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

AddressTextLine takenLine(QByteArrayView big5Text) {
    AddressTextLine line;
    line.text = CutBig5(big5Text, kMaxAddressLineBytes);
    line.cut = big5Text.size() > kMaxAddressLineBytes;
    line.blank = IsBlankLine(line.text);
    return line;
}

AddressTextLine refusedLine(QByteArrayView raw, const QString& problem, const QString& shown) {
    AddressTextLine line;
    line.blank = IsBlankLine(raw);
    line.problem = problem;
    line.shown = shown.left(kMaxAddressLineBytes);
    return line;
}

QString notBig5Problem() {
    return QStringLiteral("不是Big5文字");
}
QString notUtf8Problem() {
    return QStringLiteral("不是UTF-8文字");
}

void readBig5(QByteArrayView bytes, AddressTextFile* file, bool checked) {
    const QList<QByteArrayView> lines = splitLines(bytes);
    file->lines.reserve(file->lines.size() + std::size_t(lines.size()));
    for (const QByteArrayView line : lines) {
        // A NUL would end the field's text early; bytes that are no Big5 would show as garbage.
        if (checked || IsBig5Text(line))
            file->lines.push_back(takenLine(line));
        else
            file->lines.push_back(refusedLine(line, notBig5Problem(), fromBig5(line.toByteArray())));
    }
}

// The first character of `text` that does not become Big5 text: one without a Big5 form, or one the
// code page would write as a single byte that no Big5 text holds (0x80 to 0xFF).
QString firstNonBig5Character(QStringView text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = text.sliced(i, length);
        QStringEncoder encoder(kTextCodePage, QStringConverter::Flag::Stateless);
        const QByteArray bytes = encoder.encode(character);
        if (encoder.hasError() || !IsBig5Text(bytes))
            return character.toString();
        i += length;
    }
    return QString();
}

// One line of UTF-8 text into Big5. An encoder that met an error cannot be used again, so each line
// has its own; this runs only for files in which some character has no Big5 form.
AddressTextLine utf8Line(QStringView text) {
    QStringEncoder encoder(kTextCodePage, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError() && IsBig5Text(bytes))
        return takenLine(bytes);
    const QString character = firstNonBig5Character(text);
    AddressTextLine line;
    // A NUL is the one character that passes the encoder and still is no text.
    line.problem = character.isEmpty() || character == QChar(0)
                       ? notUtf8Problem()
                       : QStringLiteral("的文字「%1」(%2)無法以Big5碼表示").arg(character, unmappableCode(character));
    line.shown = text.left(kMaxAddressLineBytes).toString();
    return line;
}

void readUtf8(QByteArrayView bytes, AddressTextFile* file, bool checked) {
    if (checked) {
        QStringEncoder encoder(kTextCodePage, QStringConverter::Flag::Stateless);
        // The whole file at once; only when a character has no Big5 form are its lines taken one by one.
        const QString text = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless).decode(bytes);
        const QByteArray all = encoder.encode(text);
        if (!encoder.hasError() && FirstNonBig5Line(all) == 0) {
            readBig5(all, file, true);
            return;
        }
        const QList<QStringView> lines = splitLines(QStringView(text));
        file->lines.reserve(file->lines.size() + std::size_t(lines.size()));
        for (const QStringView line : lines)
            file->lines.push_back(utf8Line(line));
        return;
    }
    for (const QByteArrayView line : splitLines(bytes)) {
        if (!IsUtf8Text(line)) {
            file->lines.push_back(refusedLine(line, notUtf8Problem(), QString::fromUtf8(line)));
            continue;
        }
        const QString text = QString::fromUtf8(line);
        file->lines.push_back(utf8Line(text));
    }
}

// Which encoding a file's lines are in, gathered a piece at a time. A file that is Big5 text whole is Big5;
// else one that is UTF-8 text whole is UTF-8; else the encoding in which more of its lines are text. Lines
// of plain ASCII count for neither; a tie goes to Big5, the files' own encoding.
struct EncodingSurvey {
    bool big5Whole = true;
    bool utf8Whole = true;
    qint64 big5Lines = 0;
    qint64 utf8Lines = 0;

    void big5(QByteArrayView piece) { count(piece, &big5Whole, &big5Lines, FirstNonBig5Line, IsBig5Text); }
    void utf8(QByteArrayView piece) { count(piece, &utf8Whole, &utf8Lines, FirstNonUtf8Line, IsUtf8Text); }
    bool prefersUtf8() const { return utf8Whole || utf8Lines > big5Lines; }

private:
    // A piece that is text whole needs no decoder per line.
    static void count(QByteArrayView piece, bool* whole, qint64* lines, int (*firstBad)(const QByteArray&),
                      bool (*valid)(QByteArrayView)) {
        const bool pieceWhole = firstBad(piece.toByteArray()) == 0;
        *whole = *whole && pieceWhole;
        for (const QByteArrayView line : splitLines(piece))
            if (!isAscii(line) && (pieceWhole || valid(line)))
                ++*lines;
    }
};

// The lines of one piece, in the encoding the file was found to be in. Whether the piece is text whole is
// asked again here, so a file changed since it was surveyed still never stores a line unchecked.
void takePiece(QByteArrayView piece, bool utf8, AddressTextFile* file) {
    const QByteArray bytes = piece.toByteArray();
    if (utf8)
        readUtf8(piece, file, FirstNonUtf8Line(bytes) == 0);
    else
        readBig5(piece, file, FirstNonBig5Line(bytes) == 0);
}

} // namespace

char ExchangeDelimiter(int textFileType) {
    return textFileType == TextFileSpace ? ' ' : ',';
}

QString FieldDisplayName(int code) {
    switch (code) {
    case FieldName:
        return QStringLiteral("名稱");
    case FieldMsisdn:
        return QStringLiteral("行動電話");
    case FieldDesc:
        return QStringLiteral("說明");
    default:
        return QString();
    }
}

QByteArray FieldHeaderName(int code) {
    switch (code) {
    case FieldName:
        return big5(QStringLiteral("名稱"));
    case FieldMsisdn:
        return big5(QStringLiteral("行動電話"));
    case FieldDesc:
        return big5(QStringLiteral("備註"));
    default:
        return QByteArray();
    }
}

QByteArrayView TrimBlank(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.sliced(begin, end - begin);
}

QList<QByteArrayView> SplitColumns(QByteArrayView line, char delimiter) {
    QList<QByteArrayView> columns;
    qsizetype start = 0;
    while (columns.size() < kExchangeColumns - 1) {
        const qsizetype at = line.indexOf(delimiter, start);
        if (at < 0)
            break;
        columns.append(line.sliced(start, at - start));
        start = at + 1;
    }
    columns.append(line.sliced(start));
    return columns;
}

QByteArray CutBig5(QByteArrayView text, qsizetype width) {
    if (text.size() <= width)
        return text.toByteArray();
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype next = isBig5LeadByte(static_cast<unsigned char>(text[end])) ? end + 2 : end + 1;
        if (next > width)
            break;
        end = next;
    }
    return text.first(end).toByteArray();
}

namespace {

// Where an exchange file's bytes come from: the file, or bytes already in memory.
struct ImportSource {
    std::function<bool(qint64 from)> seek;
    CappedLineReader::Source read;
};

enum class LinesRead { Ok, ReadError, TooLarge };

// A NUL within the first 8,000 bytes, the sign of a file that is no text that most text tools take: an image,
// a document, a program or a UTF-16 file, none of which is a list this program reads.
bool nulInHead(const ImportSource& source) {
    char head[8000];
    if (!source.seek(0))
        return false; // the reading proper says why
    const qint64 size = source.read(head, sizeof head);
    return size > 0 && std::memchr(head, 0, std::size_t(size)) != nullptr;
}

// No list at all: not one line could be taken as text, or, with a NUL near the start, no more lines than were
// refused. A text list with a stray bad line keeps its other lines, and the bad one is named.
bool holdsNoText(const AddressTextFile& file, bool nulNearStart) {
    qint64 taken = 0;
    qint64 refused = 0;
    for (const AddressTextLine& line : file.lines) {
        if (!line.problem.isEmpty())
            ++refused;
        else if (!line.blank)
            ++taken;
    }
    return refused > 0 && (taken == 0 || (nulNearStart && refused >= taken));
}

// The file is read once or twice to see which encoding its lines are in, then once more for its lines;
// each reading holds a piece of whole lines, each line cut at the cap, never the file. What is kept (each
// line as far as the cap, with its line end) is what `limit` holds; the tail of a long line costs nothing.
LinesRead readLines(const ImportSource& source, qint64 limit, AddressTextFile* file) {
    using Each = std::function<bool(const QByteArray&, const std::vector<qint64>&)>;
    const auto pass = [&source](qint64 from, LineEncoding encoding, const Each& each) {
        if (!source.seek(from))
            return false;
        CappedLineReader reader(source.read, kMaxAddressLineBytes, encoding);
        QByteArray piece;
        while (reader.next(&piece))
            if (!each(piece, reader.cutLines()))
                return true;
        return !reader.failed();
    };
    *file = AddressTextFile();
    char head[3] = {};
    if (!source.seek(0))
        return LinesRead::ReadError;
    const qint64 headSize = source.read(head, sizeof head);
    const bool bom = headSize == sizeof head && QByteArrayView(head, sizeof head) == kBom;
    // The first reading also counts what would be kept, so a file past the limit is refused before a
    // line of it is taken.
    qint64 kept = 0;
    if (bom) {
        file->encoding = TextEncoding::Utf8WithBom;
        if (!pass(3, LineEncoding::Utf8, [&kept, limit](const QByteArray& piece, const std::vector<qint64>&) {
                kept += piece.size();
                return kept <= limit;
            }))
            return LinesRead::ReadError;
    } else {
        EncodingSurvey survey;
        if (!pass(0, LineEncoding::Big5, [&](const QByteArray& piece, const std::vector<qint64>&) {
                kept += piece.size();
                survey.big5(piece);
                return kept <= limit;
            }))
            return LinesRead::ReadError;
        if (kept > limit)
            return LinesRead::TooLarge;
        if (!survey.big5Whole) {
            if (!pass(0, LineEncoding::Utf8, [&survey](const QByteArray& piece, const std::vector<qint64>&) {
                    survey.utf8(piece);
                    return true;
                }))
                return LinesRead::ReadError;
            if (survey.prefersUtf8())
                file->encoding = TextEncoding::Utf8;
        }
    }
    if (kept > limit)
        return LinesRead::TooLarge;
    const bool utf8 = file->encoding != TextEncoding::Big5;
    kept = 0;
    bool tooLarge = false;
    const auto take = [&](const QByteArray& piece, const std::vector<qint64>& cut) {
        kept += piece.size();
        if (kept > limit) {
            tooLarge = true;
            return false;
        }
        const qint64 first = qint64(file->lines.size());
        takePiece(piece, utf8, file);
        for (const qint64 line : cut)
            if (line >= first && std::size_t(line) < file->lines.size())
                file->lines[std::size_t(line)].cut = true;
        return true;
    };
    const bool read = pass(bom ? 3 : 0, utf8 ? LineEncoding::Utf8 : LineEncoding::Big5, take);
    if (!read || tooLarge) {
        *file = AddressTextFile();
        return read ? LinesRead::TooLarge : LinesRead::ReadError;
    }
    return LinesRead::Ok;
}

} // namespace

AddressTextFile ParseAddressText(const QByteArray& bytes) {
    qint64 at = 0;
    const ImportSource source{[&at, &bytes](qint64 from) { return (at = from) <= bytes.size(); },
                              [&at, &bytes](char* into, qint64 size) {
                                  const qint64 n = std::min(size, qint64(bytes.size()) - at);
                                  std::memcpy(into, bytes.constData() + at, std::size_t(n));
                                  at += n;
                                  return n;
                              }};
    AddressTextFile file;
    readLines(source, std::numeric_limits<qint64>::max(), &file);
    return file;
}

bool ReadAddressText(const QString& path, AddressTextFile* file, QString* error) {
    QString reason;
    bool notAFile = false;
    const int fd = OpenInputFile(path, &reason, &notAFile);
    const QString unreadable = QStringLiteral("匯入檔%1無法讀取，沒有匯入任何資料。").arg(path);
    if (fd < 0) {
        *error = notAFile ? InputRefusalText(path, reason) + QStringLiteral("沒有匯入任何資料。")
                          : WithReason(unreadable, reason);
        return false;
    }
    const ImportSource source{[fd](qint64 from) { return ::lseek(fd, from, SEEK_SET) == from; },
                              CappedLineReader::fromDescriptor(fd)};
    const bool nulNearStart = nulInHead(source);
    errno = 0;
    const LinesRead read = readLines(source, kMaxAddressTextBytes, file);
    if (read == LinesRead::ReadError && errno != 0)
        reason = SystemErrorText(errno); // the failed read's own number
    ::close(fd);
    switch (read) {
    case LinesRead::Ok:
        if (!holdsNoText(*file, nulNearStart))
            return true;
        *file = AddressTextFile();
        *error = QStringLiteral("匯入檔%1不是文字檔（名單須為 Big5 或 UTF-8 的文字），沒有匯入任何資料。").arg(path);
        return false;
    case LinesRead::TooLarge:
        *error = QStringLiteral("匯入檔%1超過 %2 MB，無法匯入。").arg(path).arg(kMaxAddressTextBytes / (1024 * 1024));
        return false;
    case LinesRead::ReadError:
        break;
    }
    *error = WithReason(unreadable, reason);
    return false;
}

QString ExchangeFileFilter() {
    return QStringLiteral("逗點分隔(*.csv)|*.csv|文字檔(*.txt)|*.txt|所有檔案(*.*)|*.*|Excel 活頁簿(*.xlsx)|*.xlsx");
}

int ExchangeInitialFilter(int textFileType) {
    return textFileType == TextFileSpace ? 1 : 0;
}

QString WithExportExtension(const QString& name, int filterIndex) {
    if (filterIndex < 0 || filterIndex == 2 || filterIndex > 3)
        return name;
    const QString extension = filterIndex == 0   ? QStringLiteral(".csv")
                              : filterIndex == 1 ? QStringLiteral(".txt")
                                                 : QStringLiteral(".xlsx");
    return name.endsWith(extension, Qt::CaseInsensitive) ? name : name + extension;
}

QString LineProblemText(const QString& path, int number, const QString& problem) {
    return QStringLiteral("匯入檔%1之第%2行%3，此行未匯入").arg(path, QString::number(number), problem);
}

QString LongLineText(const QString& path, int number) {
    return QStringLiteral("匯入檔%1之第%2行超過 %3 KB，超過的部分未讀取")
        .arg(path, QString::number(number), QString::number(kMaxAddressLineBytes / 1024));
}

} // namespace norvi
