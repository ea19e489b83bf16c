#include "core/shared/XlsxReader.h"

#include "core/shared/InputFile.h"

#include <QDir>
#include <QXmlStreamReader>

#include <zip.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace norvi {

namespace {

constexpr char kZipMagic[] = "PK\x03\x04";
constexpr char kCompoundMagic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// The small parts that lead to the first sheet: the package's and the workbook's relationships and the
// workbook's list of sheets.
constexpr qint64 kMaxIndexPartBytes = qint64(4) * 1024 * 1024;
// A run of text without markup this long is no cell a spreadsheet program writes (a cell holds at most
// 32,767 characters, some 200 KB of escaped UTF-8): the part is taken for damaged before the XML reader
// would hold the run whole.
constexpr qint64 kMaxMarkupFreeRun = qint64(1024) * 1024;
constexpr qsizetype kXmlPiece = qsizetype(64) * 1024;
// The last row a spreadsheet program has.
constexpr qint64 kMaxSheetRow = 1048576;

// Spreadsheet programs write a character XML cannot carry (a CR, a control character) as _xHHHH_, and a
// literal "_x" before four hex digits as _x005F_x: a cell's text is what these stand for, so a note with a
// line break comes back as it was written.
QString xstringText(const QString& text) {
    if (!text.contains(QLatin1String("_x")))
        return text;
    // ASCII hex digits only: a full-width digit is a digit too, but no escape.
    const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (i + 7 <= text.size() && text[i] == QLatin1Char('_') && text[i + 1] == QLatin1Char('x') &&
            text[i + 6] == QLatin1Char('_') && hex(text[i + 2]) && hex(text[i + 3]) && hex(text[i + 4]) &&
            hex(text[i + 5])) {
            out += QChar(char16_t(QStringView(text).mid(i + 2, 4).toUInt(nullptr, 16)));
            i += 7;
        } else {
            out += text[i++];
        }
    }
    return out;
}

QString notWorkbookText(const QString& name) {
    return QStringLiteral("%1 不是 Excel 活頁簿（.xlsx），無法讀取。").arg(name);
}

QString workbookDamagedText(const QString& name) {
    return QStringLiteral("活頁簿 %1 已損壞，無法讀取。").arg(name);
}

QString encryptedText(const QString& name) {
    return QStringLiteral("活頁簿 %1 有密碼保護（已加密），無法讀取。請在試算表程式中移除密碼、另存新檔後再試。")
        .arg(name);
}

QString tooLargeText(const QString& name, qint64 limit) {
    return QStringLiteral("活頁簿 %1 超過 %2 MB，無法讀取。").arg(name, QString::number(limit / (qint64(1024) * 1024)));
}

// A compound file holds an encrypted workbook in a stream of this name (UTF-16 in its directory); without
// it, the file is a workbook of the older binary format.
bool holdsEncryptedPackage(const QByteArray& bytes) {
    static const QByteArray name = [] {
        QByteArray utf16;
        for (const char c : QByteArrayView("EncryptedPackage")) {
            utf16 += c;
            utf16 += '\0';
        }
        return utf16;
    }();
    return bytes.contains(name);
}

// A part name inside the package: relative to `base` (a folder of the package) unless it starts with "/".
QString resolvePart(const QString& base, const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(base.isEmpty() ? target : base + QLatin1Char('/') + target);
}

QString partFolder(const QString& part) {
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

// "B12" -> 1 (column B, from 0); -1 when the reference names no column.
int columnOf(QStringView reference) {
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && i < 3; ++i) {
        const char16_t c = reference[i].unicode();
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c - u'A' + 1);
    }
    return i == 0 ? -1 : column - 1;
}

// A number as a person reads it: 912345678 rather than 912345678.0 or 9.12345678E8.
QString cellNumberText(const QString& value, bool* isNumber) {
    QString trimmed = value.trimmed();
    bool ok = false;
    const double d = trimmed.toDouble(&ok);
    *isNumber = ok && std::isfinite(d);
    if (*isNumber && d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    return trimmed;
}

} // namespace

// One XML part of the package, inflated a piece at a time into the XML reader, within its cap.
class XlsxReader::XmlPart {
public:
    XmlPart(zip_file_t* file, qint64 limit, QString damaged, QString tooLarge)
        : m_file(file), m_limit(limit), m_damaged(std::move(damaged)), m_tooLarge(std::move(tooLarge)) {}
    ~XmlPart() { zip_fclose(m_file); }
    XmlPart(const XmlPart&) = delete;
    XmlPart& operator=(const XmlPart&) = delete;

    QXmlStreamReader xml;

    // The next token; false at damage, with `error` set.
    bool next(QString* error) {
        for (;;) {
            if (xml.readNext() != QXmlStreamReader::Invalid)
                return true;
            if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError || m_ended) {
                *error = m_damaged;
                return false;
            }
            if (!feed(error))
                return false;
        }
    }

private:
    bool feed(QString* error) {
        QByteArray piece(kXmlPiece, Qt::Uninitialized);
        const zip_int64_t n = zip_fread(m_file, piece.data(), zip_uint64_t(piece.size()));
        if (n < 0) {
            *error = m_damaged;
            return false;
        }
        m_ended = n == 0;
        m_read += n;
        if (m_read > m_limit) {
            *error = m_tooLarge;
            return false;
        }
        piece.truncate(qsizetype(n));
        for (const char c : piece) {
            m_sinceOpen = c == '<' ? 0 : m_sinceOpen + 1;
            m_sinceClose = c == '>' ? 0 : m_sinceClose + 1;
        }
        if (m_sinceOpen > kMaxMarkupFreeRun || m_sinceClose > kMaxMarkupFreeRun) {
            *error = m_damaged;
            return false;
        }
        xml.addData(piece);
        return true;
    }

    zip_file_t* m_file;
    qint64 m_limit;
    QString m_damaged;
    QString m_tooLarge;
    qint64 m_read = 0;
    qint64 m_sinceOpen = 0;
    qint64 m_sinceClose = 0;
    bool m_ended = false;
};

bool LooksLikeWorkbook(QByteArrayView head) {
    return head.startsWith(QByteArrayView(kZipMagic, 4)) || head.startsWith(QByteArrayView(kCompoundMagic, 8));
}

bool FileLooksLikeWorkbook(const QString& path) {
    QString reason;
    const int fd = OpenInputFile(path, &reason);
    if (fd < 0)
        return false;
    char head[8] = {};
    qint64 got = 0;
    while (got < qint64(sizeof head)) {
        const ssize_t n = ::read(fd, head + got, sizeof head - std::size_t(got));
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    return LooksLikeWorkbook(QByteArrayView(head, got));
}

QString SharedStringsDamagedText(const QString& name) {
    return QStringLiteral("活頁簿 %1 的共用字串表已損壞，無法讀取。").arg(name);
}

XlsxReader::XlsxReader() = default;

XlsxReader::~XlsxReader() {
    m_part.reset();
    if (m_zip)
        zip_discard(m_zip);
}

bool XlsxReader::fail(const QString& error) {
    m_error = error;
    m_done = true;
    m_part.reset();
    return false;
}

bool XlsxReader::open(const QString& path) {
    QString refusal;
    QString reason;
    switch (ReadInputFile(path, kMaxWorkbookFileBytes, &m_file, &refusal, &reason)) {
    case InputRead::Ok:
        return openBytes(m_file, path);
    case InputRead::TooLarge:
        return fail(tooLargeText(path, kMaxWorkbookFileBytes));
    case InputRead::NotAFile:
        return fail(refusal);
    default:
        return fail(InputRefusalText(path, reason));
    }
}

bool XlsxReader::openBytes(const QByteArray& bytes, const QString& name) {
    m_name = name;
    m_error.clear();
    m_done = false;
    m_lastRow = 0;
    if (bytes.startsWith(QByteArrayView(kCompoundMagic, 8)))
        return fail(
            holdsEncryptedPackage(bytes)
                ? encryptedText(name)
                : QStringLiteral("%1 是舊版 Excel 活頁簿（.xls），無法讀取。請在試算表程式中另存為 .xlsx 後再試。")
                      .arg(name));
    if (!bytes.startsWith(QByteArrayView(kZipMagic, 4)))
        return fail(notWorkbookText(name));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (source) {
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_zip)
            zip_source_free(source);
    }
    zip_error_fini(&error);
    if (!m_zip)
        return fail(notWorkbookText(name));
    return openArchive();
}

bool XlsxReader::openArchive() {
    QString sheetPart;
    QString stringsPart;
    if (!findFirstSheet(&sheetPart, &stringsPart))
        return false;
    if (!stringsPart.isEmpty() && !readSharedStrings(stringsPart))
        return false;
    bool missing = false;
    if (!openPart(sheetPart, kMaxSheetXmlBytes, workbookDamagedText(m_name), &missing))
        return missing ? fail(workbookDamagedText(m_name)) : false;
    return true;
}

// Opens `name` as m_part. A part the package does not hold sets `missing` (when given) and fails.
bool XlsxReader::openPart(const QString& name, qint64 limit, const QString& damaged, bool* missing) {
    m_part.reset();
    const zip_int64_t index = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        if (!missing)
            return fail(notWorkbookText(m_name));
        *missing = true;
        return false;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) != 0)
        return fail(damaged);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        return fail(encryptedText(m_name));
    zip_file_t* file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file)
        return fail(damaged);
    m_part = std::make_unique<XmlPart>(file, limit, damaged,
                                       QStringLiteral("活頁簿 %1 解壓縮後超過 %2 MB，無法讀取。")
                                           .arg(m_name, QString::number(limit / (qint64(1024) * 1024))));
    return true;
}

// The package's relationships name the workbook, the workbook its first sheet by an id, and the workbook's
// relationships the part of that id and the shared strings.
bool XlsxReader::findFirstSheet(QString* sheetPart, QString* stringsPart) {
    const QString damaged = workbookDamagedText(m_name);
    // Relationships of `part` (maybe none), each Id -> Target, and the target of the first of `type`.
    const auto relationships = [&](const QString& part, const QString& wantedId, const QString& wantedType,
                                   QString* byId, QString* byType) {
        const QString folder = partFolder(part);
        const QString rels =
            folder.isEmpty()
                ? QString(QStringLiteral("_rels/") + part + QStringLiteral(".rels"))
                : QString(folder + QStringLiteral("/_rels/") + part.mid(folder.size() + 1) + QStringLiteral(".rels"));
        bool missing = false;
        if (!openPart(rels, kMaxIndexPartBytes, damaged, &missing))
            return missing; // no relationships: nothing found, not damage
        QString error;
        while (m_part->next(&error) && !m_part->xml.atEnd()) {
            if (!m_part->xml.isStartElement() || m_part->xml.name() != QLatin1String("Relationship"))
                continue;
            const QXmlStreamAttributes attributes = m_part->xml.attributes();
            const QString target = attributes.value(QLatin1String("Target")).toString();
            if (!wantedId.isEmpty() && attributes.value(QLatin1String("Id")) == wantedId && byId->isEmpty())
                *byId = target;
            if (!wantedType.isEmpty() && attributes.value(QLatin1String("Type")).endsWith(wantedType) &&
                byType->isEmpty())
                *byType = target;
        }
        m_part.reset();
        return error.isEmpty() || fail(error);
    };
    // The package's own relationships sit at "_rels/.rels".
    QString workbook;
    QString unused;
    if (!relationships(QString(), QString(), QStringLiteral("/officeDocument"), &unused, &workbook))
        return false;
    workbook = workbook.isEmpty() ? QStringLiteral("xl/workbook.xml") : resolvePart(QString(), workbook);

    if (!openPart(workbook, kMaxIndexPartBytes, damaged))
        return false;
    QString sheetId;
    QString error;
    bool sheets = false;
    while (sheetId.isEmpty() && m_part->next(&error) && !m_part->xml.atEnd()) {
        if (m_part->xml.isStartElement() && m_part->xml.name() == QLatin1String("sheet")) {
            sheets = true;
            for (const QXmlStreamAttribute& attribute : m_part->xml.attributes())
                if (attribute.name() == QLatin1String("id"))
                    sheetId = attribute.value().toString();
        }
    }
    m_part.reset();
    if (!error.isEmpty())
        return fail(error);
    if (!sheets)
        return fail(QStringLiteral("活頁簿 %1 沒有工作表。").arg(m_name));

    QString sheetTarget;
    QString stringsTarget;
    if (!relationships(workbook, sheetId, QStringLiteral("/sharedStrings"), &sheetTarget, &stringsTarget))
        return false;
    if (sheetTarget.isEmpty())
        return fail(damaged);
    *sheetPart = resolvePart(partFolder(workbook), sheetTarget);
    if (!stringsTarget.isEmpty())
        *stringsPart = resolvePart(partFolder(workbook), stringsTarget);
    return true;
}

// Each <si> is one string: the text of its <t>, or of the <t> of its runs, without the phonetic guide
// (<rPh>) that some programs add above CJK text.
bool XlsxReader::readSharedStrings(const QString& part) {
    const QString damaged = SharedStringsDamagedText(m_name);
    bool missing = false;
    if (!openPart(part, kMaxSharedStringsBytes, damaged, &missing))
        return missing ? fail(damaged) : false;
    QString error;
    QString text;
    QString piece; // one <t>, whose escapes stand whole only at its end
    bool inText = false;
    int phonetic = 0;
    bool inString = false;
    QXmlStreamReader& xml = m_part->xml;
    while (m_part->next(&error) && !xml.atEnd()) {
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("si")) {
                inString = true;
                text.clear();
            } else if (xml.name() == QLatin1String("rPh")) {
                ++phonetic;
            } else if (xml.name() == QLatin1String("t")) {
                inText = inString && phonetic == 0;
            }
        } else if (xml.isCharacters() && inText) {
            piece += xml.text();
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("t")) {
                if (inText)
                    text += xstringText(piece).left(kMaxSheetCellChars - text.size());
                piece.clear();
                inText = false;
            } else if (xml.name() == QLatin1String("rPh")) {
                phonetic = std::max(0, phonetic - 1);
            } else if (xml.name() == QLatin1String("si") && inString) {
                m_stringStarts.push_back(quint32(m_strings.size()));
                m_strings += text.toStdString();
                inString = false;
            }
        }
    }
    m_part.reset();
    return error.isEmpty() || fail(error);
}

bool XlsxReader::cellText(const QString& type, const QString& value, const QString& inlineText, SheetCell* cell) {
    cell->number = false;
    if (type == QLatin1String("s")) {
        bool ok = false;
        const qint64 index = value.trimmed().toLongLong(&ok);
        if (!ok || index < 0 || index >= qint64(m_stringStarts.size()))
            return fail(SharedStringsDamagedText(m_name));
        const std::size_t start = m_stringStarts[std::size_t(index)];
        const std::size_t end =
            std::size_t(index) + 1 < m_stringStarts.size() ? m_stringStarts[std::size_t(index) + 1] : m_strings.size();
        cell->text = QString::fromUtf8(m_strings.data() + start, qsizetype(end - start));
    } else if (type == QLatin1String("inlineStr")) {
        cell->text = inlineText;
    } else if (type == QLatin1String("b")) {
        cell->text = value.trimmed() == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    } else if (type.isEmpty() || type == QLatin1String("n")) {
        cell->text = cellNumberText(value, &cell->number);
    } else {
        cell->text = value; // a formula's text, an error value, a date written as text
    }
    return true;
}

bool XlsxReader::nextRow(SheetRow* row) {
    if (m_done || !m_part)
        return false;
    QXmlStreamReader& xml = m_part->xml;
    QString error;
    bool inRow = false;
    bool inCell = false;
    bool inInline = false;
    int phonetic = 0;
    enum { None, Value, InlineText } collecting = None;
    int column = -1;
    QString type, value, inlineText, inlinePiece;
    row->cells.clear();
    row->cut = false;
    const auto append = [&](QStringView text, QString* into) {
        const qsizetype room = kMaxSheetCellChars - into->size();
        if (text.size() > room)
            row->cut = true;
        into->append(text.left(std::max<qsizetype>(room, 0)));
    };
    while (m_part->next(&error)) {
        if (xml.atEnd())
            break;
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("row")) {
                inRow = true;
                bool ok = false;
                const qint64 number = xml.attributes().value(QLatin1String("r")).toLongLong(&ok);
                // Rows come in order; one out of order or unnumbered takes the next number.
                row->row = ok && number > m_lastRow ? number : m_lastRow + 1;
                if (row->row > kMaxSheetRow)
                    return fail(workbookDamagedText(m_name));
                m_lastRow = row->row;
                column = -1;
            } else if (inRow && name == QLatin1String("c")) {
                inCell = true;
                const QXmlStreamAttributes attributes = xml.attributes();
                const int named = columnOf(attributes.value(QLatin1String("r")));
                column = named > column ? named : column + 1;
                type = attributes.value(QLatin1String("t")).toString();
                value.clear();
                inlineText.clear();
            } else if (inCell && name == QLatin1String("v")) {
                collecting = Value;
            } else if (inCell && name == QLatin1String("is")) {
                inInline = true;
            } else if (inInline && name == QLatin1String("rPh")) {
                ++phonetic;
            } else if (inInline && phonetic == 0 && name == QLatin1String("t")) {
                collecting = InlineText;
            }
        } else if (xml.isCharacters()) {
            if (collecting == Value)
                append(xml.text(), &value);
            else if (collecting == InlineText)
                inlinePiece += xml.text();
        } else if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("v") || name == QLatin1String("t")) {
                if (collecting == InlineText)
                    append(xstringText(inlinePiece), &inlineText);
                inlinePiece.clear();
                collecting = None;
            } else if (name == QLatin1String("rPh")) {
                phonetic = std::max(0, phonetic - 1);
            } else if (name == QLatin1String("is")) {
                inInline = false;
            } else if (name == QLatin1String("c") && inCell) {
                inCell = false;
                if (column < kMaxSheetColumns) {
                    SheetCell cell;
                    if (!cellText(type, value, inlineText, &cell))
                        return false;
                    if (!cell.text.isEmpty()) {
                        if (row->cells.size() <= std::size_t(column))
                            row->cells.resize(std::size_t(column) + 1);
                        row->cells[std::size_t(column)] = std::move(cell);
                    }
                }
            } else if (name == QLatin1String("row") && inRow) {
                inRow = false;
                if (!row->cells.empty())
                    return true;
            } else if (name == QLatin1String("sheetData")) {
                break;
            }
        }
    }
    if (!error.isEmpty())
        return fail(error);
    m_done = true;
    m_part.reset();
    return false;
}

} // namespace norvi
