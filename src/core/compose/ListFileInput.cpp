#include "core/compose/ListFileInput.h"

#include "core/compose/ComposeState.h"
#include "core/compose/ListFileRecords.h"
#include "core/compose/ListFileSurvey.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/CappedLines.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"
#include "core/shared/StopSignal.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace norvi {

namespace {

// The first lines named, and how many there are in all when that is more.
QString lineList(const QList<qint64>& lines, qint64 count) {
    QStringList named;
    for (int i = 0; i < lines.size() && i < kNamedListLines; ++i)
        named << QString::number(lines.at(i));
    QString text = named.join(QStringLiteral("、"));
    if (count > kNamedListLines)
        text += QStringLiteral(" 行等共 %1").arg(count);
    return text;
}

QString lineList(const QList<qint64>& lines) {
    return lineList(lines, lines.size());
}

qint64 listModifiedNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

RecipientListFile::~RecipientListFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RecipientListFile::fail(const QString& error) {
    m_error = error;
    return false;
}

bool RecipientListFile::check(const QString& path) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_path = path;
    m_error.clear();
    m_cut.clear();
    QString reason;
    bool notAFile = false;
    m_fd = OpenInputFile(path, &reason, &notAFile);
    if (m_fd < 0)
        return fail(notAFile ? InputRefusalText(path, reason)
                             : WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), reason));
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return fail(WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), SystemErrorText(errno)));
    m_size = st.st_size;
    m_modified = listModifiedNs(st);
    m_workbook = FileLooksLikeWorkbook(path);
    if (m_workbook)
        return checkSheet();
    ListFileSurvey survey;
    survey.tooLarge = m_size > kMaxListFileBytes;
    if (!survey.tooLarge)
        survey = SurveyListFile(CappedLineReader::fromDescriptor(m_fd), kMaxListFileBytes);
    if (survey.readFailed)
        return fail(WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), SystemErrorText(survey.error)));
    if (survey.tooLarge)
        return fail(QStringLiteral("發訊名單檔案 %1 超過 %2 MB，無法載入。")
                        .arg(path, QString::number(kMaxListFileBytes / (1024 * 1024))));
    // Named for what it is before the encoding check, which would only call the line "not text".
    if (survey.nulLine != 0)
        return fail(path + QStringLiteral("：") + ListFileNulLineText(survey.nulLine));
    m_lines = survey.lines;
    if (m_lines > kMaxListFileLines)
        return fail(QStringLiteral("發訊名單檔案 %1 有 %2 行，超過 %3 行的上限，無法載入。")
                        .arg(path, QString::number(m_lines), QString::number(kMaxListFileLines)));
    // A file that is UTF-8 throughout is taken as UTF-8 (plain ASCII is both); otherwise it must be Big5.
    // Chinese text in one encoding is practically never valid in the other, so the guess is safe.
    m_utf8 = survey.notUtf8Line == 0;
    if (m_utf8 && !survey.unmappable.isEmpty())
        return fail(QStringLiteral("發訊名單 %1：").arg(path) + unmappableMessage(survey.unmappable));
    if (!m_utf8 && survey.notBig5Line != 0)
        return fail(QStringLiteral("發訊名單檔案 %1 第 %2 行不是 Big5 或 UTF-8 文字，無法載入。")
                        .arg(path, QString::number(survey.notBig5Line)));
    return true;
}

// A workbook is read through once to be checked, as a text file is: a refused row refuses the file.
bool RecipientListFile::checkSheet() {
    ListFileSheet sheet;
    if (!sheet.open(m_path))
        return fail(sheet.error());
    QByteArray line;
    qint64 index = -1;
    m_lines = 0;
    while (sheet.next(&line, &index))
        m_lines = index + 1;
    if (!sheet.error().isEmpty())
        return fail(sheet.error());
    return true;
}

bool RecipientListFile::readSheetRows(ParsedRecipients& into, const std::function<void()>& step,
                                      const std::function<bool()>& stopped) {
    ListFileSheet sheet;
    bool read = sheet.open(m_path);
    {
        ListFileRowFill fill(into);
        QByteArray line;
        qint64 index = 0;
        while (read && !stopped() && sheet.next(&line, &index)) {
            if (step)
                step();
            fill.add(line, int32_t(index));
        }
        m_cut = sheet.cutLines();
        read = read && sheet.error().isEmpty();
    }
    if (read)
        return true;
    into.ListFileRows.clear();
    into.ListFileLongNumbers.clear();
    into.RecipientList.remove_if([](const sMtData& entry) { return entry.kind == KindListRow; });
    m_cut.clear();
    return fail(sheet.error());
}

bool RecipientListFile::readRows(ParsedRecipients& into, const std::function<void()>& step, const StopFlag* stop) {
    const auto stopped = [stop] { return stop && stop->requested(); };
    m_cut.clear();
    if (m_workbook)
        return readSheetRows(into, step, stopped);
    bool read = true;
    bool changed = false;
    int error = 0;
    {
        ListFileRowFill fill(into);
        CappedLineReader reader(CappedLineReader::fromDescriptor(m_fd), kMaxListLineBytes,
                                m_utf8 ? LineEncoding::Utf8 : LineEncoding::Big5);
        // One decoder for the whole file, as when it was checked: only a byte order mark at its very start
        // is taken as one.
        QStringDecoder decoder(QStringConverter::Utf8);
        QByteArray piece;
        QByteArray converted;
        qint64 index = 0;
        read = m_fd >= 0 && ::lseek(m_fd, 0, SEEK_SET) == 0;
        if (!read)
            error = m_fd >= 0 ? errno : EBADF;
        while (read && !changed && !stopped() && reader.next(&piece)) {
            if (m_utf8) {
                const QString text = decoder.decode(piece);
                changed = decoder.hasError() || !toBig5(text, converted);
                if (changed)
                    break;
            }
            m_cut.insert(m_cut.end(), reader.cutLines().begin(), reader.cutLines().end());
            for (const QByteArrayView line : SplitListFileLines(m_utf8 ? converted : piece)) {
                if (stopped())
                    break;
                if (step)
                    step();
                fill.add(line, int32_t(index++));
            }
        }
        if (read && reader.failed()) {
            error = errno;
            read = false;
        }
        // A load stopped early names only the cut lines it reached.
        if (stopped())
            m_cut.erase(std::lower_bound(m_cut.begin(), m_cut.end(), index), m_cut.end());
        // The file that was checked, unchanged: the same size and time, and its lines all read.
        struct stat st {};
        if (read && !changed && !stopped())
            changed =
                ::fstat(m_fd, &st) != 0 || st.st_size != m_size || listModifiedNs(st) != m_modified || index != m_lines;
    }
    if (read && !changed)
        return true;
    into.ListFileRows.clear();
    into.ListFileLongNumbers.clear();
    into.RecipientList.remove_if([](const sMtData& entry) { return entry.kind == KindListRow; });
    m_cut.clear();
    if (!read)
        return fail(WithReason(QStringLiteral("無法讀取檔案：%1").arg(m_path), SystemErrorText(error)));
    return fail(QStringLiteral("發訊名單檔案 %1 在讀取時被更改，請再試一次。").arg(m_path));
}

QString ListFileCutText(const std::vector<qint64>& cutLines) {
    if (cutLines.empty())
        return {};
    QList<qint64> lines;
    for (const qint64 line : cutLines)
        lines << line + 1;
    return QStringLiteral("發訊名單第 %1 行超過 %2 KB，超過的部分未讀取。")
        .arg(lineList(lines), QString::number(kMaxListLineBytes / 1024));
}

QString ListFileNoNumberText(const QList<qint64>& firstLines, qint64 count) {
    if (count == 0)
        return {};
    return QStringLiteral("發訊名單第 %1 行沒有電話號碼，這些行不會傳送。").arg(lineList(firstLines, count));
}

QString ListFileRowNotes(const ParsedRecipients& parsed, const std::vector<qint64>& cutLines) {
    QList<qint64> withoutNumber;
    QList<qint64> tooLong;
    for (const auto& [line, row] : parsed.ListFileRows) {
        const QByteArray number = getField(row.msisdn);
        if (number.isEmpty())
            withoutNumber << qint64(line) + 1;
        else if (number.size() > kMaxNumberLength)
            tooLong << qint64(line) + 1;
    }
    QStringList notes;
    if (!withoutNumber.isEmpty())
        notes << ListFileNoNumberText(withoutNumber, withoutNumber.size());
    if (!tooLong.isEmpty())
        notes
            << QStringLiteral("發訊名單第 %1 行的電話號碼超過29個字元，傳送前請先修正或移除。").arg(lineList(tooLong));
    if (!cutLines.empty())
        notes << ListFileCutText(cutLines);
    return notes.join(QLatin1Char('\n'));
}

} // namespace norvi
