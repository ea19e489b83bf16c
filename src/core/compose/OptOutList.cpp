#include "core/compose/OptOutList.h"

#include "core/addressbook/BookFile.h"
#include "core/compose/NumberKey.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FileLock.h"
#include "core/shared/InputFile.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SendSettings.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace norvi {

namespace {

// A stop list of 400,000 numbers; anything larger is not one.
constexpr qint64 kMaxOptOutBytes = qint64(16) * 1024 * 1024;
constexpr int kNamedOptOutLines = 5;

QByteArrayView trimmedField(QByteArrayView field) {
    QByteArrayView text = field.trimmed();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.sliced(1, text.size() - 2).trimmed();
    return text;
}

// The number of a line: the text before its first comma, Tab or ";"; `rest` gets what follows.
QByteArrayView firstField(QByteArrayView line, QByteArrayView* rest) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ',' || c == '\t' || c == ';') {
            *rest = line.sliced(i + 1);
            return line.first(i);
        }
    }
    *rest = QByteArrayView();
    return line;
}

QByteArray optOutNoteLine(QByteArrayView note) {
    QByteArray text = note.trimmed().toByteArray();
    text.replace('\r', ' ');
    text.replace('\n', ' ');
    return text;
}

bool isDay(QByteArrayView text) {
    const QString day = QString::fromLatin1(text.trimmed().toByteArray());
    return QDate::fromString(day, QStringLiteral("yyyy/MM/dd")).isValid() ||
           QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).isValid();
}

// A field after a line's first that names one more number: a number by the first field's test, of nine digits or
// more, so that a year, a count or a day written 20240501 stays a note as it was.
bool furtherNumber(QByteArrayView field, QByteArray* number) {
    QByteArray sent = SentNumber(trimmedField(field));
    const qsizetype digits = sent.startsWith('+') ? sent.size() - 1 : sent.size();
    if (digits < 9 || !IsPhoneNumber(sent))
        return false;
    *number = std::move(sent);
    return true;
}

// "number[,number...][,day][,note]" or "number[,note]" into entries appended to `entries`, one a number with the
// line's day and note; false when the line holds no number. A spreadsheet column pasted as CSV puts several
// numbers on one line ("0912000001,0912000002"): each is stopped, for taking the second for a note would leave
// that phone texted.
bool entriesFromLine(QByteArrayView line, std::vector<OptOutEntry>* entries) {
    QByteArrayView rest;
    const QByteArrayView written = trimmedField(firstField(line, &rest));
    QByteArrayList numbers{SentNumber(written)};
    if (!IsPhoneNumber(numbers.front()))
        return false;
    for (QByteArray further;;) {
        QByteArrayView after;
        if (!furtherNumber(firstField(rest, &after), &further))
            break;
        numbers.push_back(further);
        rest = after;
    }
    OptOutEntry entry;
    QByteArrayView after;
    const QByteArrayView second = firstField(rest, &after);
    if (isDay(second)) {
        entry.added = second.trimmed().toByteArray().replace('-', '/');
        entry.note = optOutNoteLine(trimmedField(after));
    } else if (second.trimmed().isEmpty()) {
        // An empty day, as the list writes an entry read without one ("0912345678,,note"): the note follows it.
        // Taken for the note, the comma would come back one more each time the file is written.
        entry.note = optOutNoteLine(trimmedField(after));
    } else {
        entry.note = optOutNoteLine(trimmedField(rest));
    }
    for (QByteArray& number : numbers) {
        entry.number = std::move(number);
        entries->push_back(entry);
    }
    return true;
}

// The leading fields of a UTF-8 line that have a Big5 form, in Big5: a note without one is left out, and the
// numbers and the day before it still count.
QByteArray big5Fields(QByteArrayView line) {
    QByteArray kept;
    QByteArrayView rest = line;
    for (char separator = 0;;) {
        QByteArrayView after;
        const QByteArrayView field = firstField(rest, &after);
        QByteArray bytes;
        if (!toBig5(QString::fromUtf8(field), bytes))
            break;
        if (separator != 0)
            kept += separator;
        kept += bytes;
        if (after.isNull())
            break;
        separator = rest.at(field.size());
        rest = after;
    }
    return kept;
}

// The key the list holds a number by: its NumberKey, and for nine digits from 9 the mobile number 09xxxxxxxx. A
// spreadsheet saves 0912345678 as the number 912345678, and a list of stopped numbers typed or exported there
// comes back so: such an entry must still stop the phone it names. Nine digits from 9 are no whole number here.
bool nineDigitsFromNine(const QByteArray& key) {
    return key.size() == 9 && key.startsWith('9') &&
           std::all_of(key.cbegin(), key.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

QByteArray stopKey(QByteArrayView written) {
    QByteArray key = NumberKey(written);
    if (nineDigitsFromNine(key))
        key.prepend('0');
    return key;
}

QString namedLine(qsizetype line, QByteArrayView text) {
    return QStringLiteral("第 %1 行 %2").arg(line).arg(fromBig5(text.trimmed().toByteArray()));
}

} // namespace

QString OptOutPath(const QString& startDir) {
    return QDir(startDir).filePath(QStringLiteral("OptOut.txt"));
}

QByteArray OptOutDay(const QDate& day) {
    return day.toString(QStringLiteral("yyyy/MM/dd")).toLatin1();
}

OptOutList OptOutList::fromBytes(const QByteArray& bytes) {
    OptOutList list;
    // An editor that saves as UTF-8 may put its mark before the first line: no part of the first number, which
    // the list must still honour. Numbers are ASCII either way; the file is written back without the mark.
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    const QList<QByteArrayView> lines = SplitListFileLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView text = lines.at(i);
        if (text.trimmed().isEmpty())
            continue;
        std::vector<OptOutEntry> entries;
        if (!entriesFromLine(text, &entries)) {
            Line line;
            line.kept = text.toByteArray();
            list.m_damaged.emplace_back(i + 1, line.kept);
            list.m_lines.push_back(std::move(line));
            continue;
        }
        for (OptOutEntry& entry : entries) {
            list.countKey(stopKey(entry.number), 1);
            list.m_lines.push_back(Line{std::move(entry), {}});
        }
    }
    return list;
}

QByteArray OptOutList::toBytes() const {
    QByteArray bytes;
    for (const Line& line : m_lines) {
        if (!line.kept.isEmpty()) {
            bytes += line.kept;
        } else {
            bytes += line.entry.number + ',' + line.entry.added;
            if (!line.entry.note.isEmpty())
                bytes += ',' + line.entry.note;
        }
        bytes += "\r\n";
    }
    return bytes;
}

std::vector<OptOutEntry> OptOutList::entries() const {
    std::vector<OptOutEntry> out;
    out.reserve(m_lines.size());
    for (const Line& line : m_lines)
        if (line.kept.isEmpty())
            out.push_back(line.entry);
    return out;
}

bool OptOutList::contains(QByteArrayView written) const {
    return m_keyCount.contains(stopKey(written));
}

bool OptOutList::containsKey(const QByteArray& key) const {
    // `key` is a NumberKey already: only the spreadsheet's nine digits need their 0 back.
    return m_keyCount.contains(nineDigitsFromNine(key) ? '0' + key : key);
}

void OptOutList::countKey(const QByteArray& key, int change) {
    int& count = m_keyCount[key];
    count += change;
    if (count <= 0)
        m_keyCount.remove(key);
}

OptOutAdd OptOutList::add(QByteArrayView number, QByteArrayView note, const QDate& day) {
    const QByteArray sent = SentNumber(number);
    if (!IsPhoneNumber(sent))
        return OptOutAdd::NotANumber;
    const QByteArray key = stopKey(sent);
    if (m_keyCount.contains(key))
        return OptOutAdd::AlreadyListed;
    Line line;
    line.entry = OptOutEntry{sent, OptOutDay(day), optOutNoteLine(note)};
    m_lines.push_back(std::move(line));
    countKey(key, 1);
    return OptOutAdd::Added;
}

int OptOutList::remove(QByteArrayView number) {
    const QByteArray key = stopKey(SentNumber(number));
    int removed = 0;
    for (auto it = m_lines.begin(); it != m_lines.end();) {
        if (it->kept.isEmpty() && stopKey(it->entry.number) == key) {
            it = m_lines.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    m_keyCount.remove(key);
    return removed;
}

QString OptOutList::damageText() const {
    if (m_damaged.empty())
        return QString();
    QStringList named;
    for (std::size_t k = 0; k < m_damaged.size() && k < std::size_t(kNamedOptOutLines); ++k)
        named << namedLine(m_damaged[k].first, m_damaged[k].second);
    QString text = QStringLiteral("拒收名單檔案有 %1 行不是手機門號，已保留原樣：").arg(m_damaged.size()) +
                   named.join(QStringLiteral("、"));
    if (m_damaged.size() > std::size_t(kNamedOptOutLines))
        text += QStringLiteral("…");
    return text;
}

bool ReadOptOutFile(const QString& path, OptOutList* list, QString* error) {
    if (!QFileInfo::exists(path)) {
        *list = OptOutList();
        return true;
    }
    QByteArray bytes;
    QString refusal;
    QString reason;
    switch (ReadInputFile(path, kMaxOptOutBytes, &bytes, &refusal, &reason)) {
    case InputRead::Ok:
        *list = OptOutList::fromBytes(bytes);
        return true;
    case InputRead::TooLarge:
        *error = QStringLiteral("拒收名單檔案 %1 超過 16 MB，無法讀取。").arg(path);
        return false;
    case InputRead::NotAFile:
        *error = refusal;
        return false;
    default:
        *error = QStringLiteral("無法讀取拒收名單檔案 %1：%2").arg(path, reason);
        return false;
    }
}

bool ChangeOptOutFile(const QString& path, const std::function<bool(OptOutList&)>& change, OptOutList* after,
                      QString* error, bool wait) {
    FileLock lock(path);
    const bool locked = wait ? lock.lock() : lock.tryLock();
    if (!locked) {
        *error = lock.error().isEmpty()
                     ? QStringLiteral("拒收名單正由%1變更中，請稍後再試。")
                           .arg(lock.holder().isEmpty() ? QStringLiteral("另一個程式") : lock.holder())
                     : QStringLiteral("無法鎖定拒收名單檔案：%1").arg(lock.error());
        return false;
    }
    OptOutList list;
    if (!ReadOptOutFile(path, &list, error))
        return false;
    if (change(list)) {
        const QByteArray bytes = list.toBytes();
        // A list no reading takes would stop every send, and no change could take it back below the limit.
        if (bytes.size() > kMaxOptOutBytes) {
            *error = QStringLiteral("變更後的拒收名單檔案會超過 16 MB，無法寫入，拒收名單沒有變更。");
            return false;
        }
        SaveFile file(path);
        if (!file.open() || file.write(bytes) < 0 || !file.commit()) {
            *error = QStringLiteral("拒收名單檔案寫入失敗：%1").arg(file.errorString());
            return false;
        }
    }
    if (after)
        *after = std::move(list);
    return true;
}

OptOutImport ReadOptOutImport(const QString& path) {
    OptOutImport import;
    QByteArray bytes;
    QString refusal;
    QString reason;
    switch (ReadInputFile(path, kMaxOptOutBytes, &bytes, &refusal, &reason)) {
    case InputRead::Ok:
        break;
    case InputRead::TooLarge:
        import.error = QStringLiteral("檔案 %1 超過 16 MB，無法匯入。").arg(path);
        return import;
    case InputRead::NotAFile:
        import.error = refusal;
        return import;
    default:
        import.error = InputRefusalText(path, reason);
        return import;
    }
    // A UTF-8 file (a spreadsheet's CSV, say) is taken as such when all of it is UTF-8 and some of it is not
    // plain ASCII; any other file must be Big5.
    const bool hasBom = bytes.startsWith("\xEF\xBB\xBF");
    if (hasBom)
        bytes.remove(0, 3);
    bool ascii = true;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    const bool utf8 = !ascii && FirstNonUtf8Line(bytes) == 0;
    if (!ascii && !utf8) {
        if (const int line = FirstNonBig5Line(bytes); line > 0) {
            import.error = QStringLiteral("檔案 %1 第 %2 行不是 Big5 或 UTF-8 文字，無法匯入。").arg(path).arg(line);
            return import;
        }
    }
    const QList<QByteArrayView> lines = SplitListFileLines(bytes);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i).toByteArray();
        if (line.trimmed().isEmpty())
            continue;
        // A note without a Big5 form: the numbers still count, without the note.
        if (utf8 && !toBig5(QString::fromUtf8(line), line))
            line = big5Fields(lines.at(i));
        if (entriesFromLine(line, &import.entries))
            continue;
        ++import.skipped;
        if (import.named.size() < kNamedOptOutLines)
            import.named << QStringLiteral("第 %1 行 %2")
                                .arg(i + 1)
                                .arg(utf8 ? QString::fromUtf8(lines.at(i).trimmed().toByteArray())
                                          : fromBig5(lines.at(i).trimmed().toByteArray()));
    }
    return import;
}

OptOutImportCount AddImported(OptOutList& list, const OptOutImport& import, const QDate& today) {
    OptOutImportCount count;
    for (const OptOutEntry& entry : import.entries) {
        const QDate day = entry.added.isEmpty()
                              ? today
                              : QDate::fromString(QString::fromLatin1(entry.added), QStringLiteral("yyyy/MM/dd"));
        if (list.add(entry.number, entry.note, day.isValid() ? day : today) == OptOutAdd::Added)
            ++count.added;
        else
            ++count.alreadyListed;
    }
    return count;
}

QString OptOutImportText(const OptOutImportCount& count, const OptOutImport& import) {
    QString text = QStringLiteral("匯入 %1 筆，已在名單中 %2 筆").arg(count.added).arg(count.alreadyListed);
    if (import.skipped > 0) {
        text += QStringLiteral("，略過 %1 行（不是手機門號）：").arg(import.skipped) +
                import.named.join(QStringLiteral("、"));
        if (import.skipped > import.named.size())
            text += QStringLiteral("…");
    }
    return text + QStringLiteral("。");
}

bool ExportOptOut(const OptOutList& list, const QString& path, const QString& startDir, QString* error) {
    for (const QString& own :
         {OptOutPath(startDir), ConfigPath(startDir), AddressBookPath(startDir), SendSettingsPath(startDir)}) {
        if (SameFile(path, own) || QFileInfo(path).absoluteFilePath() == QFileInfo(own).absoluteFilePath()) {
            *error = QStringLiteral("%1 是程式自己的檔案，不能匯出到這裡。").arg(path);
            return false;
        }
    }
    // Nor over any other file of the program's (an operation log, a lock, a log being written). A copy of the
    // list elsewhere may well be named as the list is.
    const bool namedAsList =
        QFileInfo(path).fileName().compare(QFileInfo(OptOutPath(startDir)).fileName(), Qt::CaseInsensitive) == 0;
    if (const QString refusal = OutputRefusal(path, startDir); !refusal.isEmpty() && !namedAsList) {
        *error = refusal;
        return false;
    }
    QByteArray bytes;
    for (const OptOutEntry& entry : list.entries()) {
        bytes += entry.number + ',' + entry.added;
        if (!entry.note.isEmpty())
            bytes += ',' + entry.note;
        bytes += "\r\n";
    }
    SaveFile file(path);
    if (!file.open() || file.write(bytes) < 0 || !file.commit()) {
        *error = QStringLiteral("無法寫入檔案 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace norvi
