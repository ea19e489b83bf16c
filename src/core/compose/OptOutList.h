#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// 拒收名單: the numbers whose owners asked to get no more messages. OptOut.txt in the start folder, Big5
// text, one number a line with the day it was added and an optional note ("0912345678,2024/05/01,家長來電"),
// CR LF between lines. Every send of both programs leaves these numbers out by their NumberKey, and a resend
// never picks one up. Both programs change the file under its own lock (OptOut.txt.lock), each change made
// to the file as it then stands, so neither loses the other's.
namespace norvi {

QString OptOutPath(const QString& startDir); // startDir/OptOut.txt

struct OptOutEntry {
    QByteArray number; // without separators, as it is sent
    QByteArray added;  // "yyyy/MM/dd" as the file holds it
    QByteArray note;   // Big5, one line
};

// A number the address book offers to the list, with the member's name as its note.
struct OptOutCandidate {
    QByteArray number;
    QByteArray name;
};

// What a number given to the list is.
enum class OptOutAdd { Added, AlreadyListed, NotANumber };

class OptOutList {
public:
    // The list a file of these bytes holds. A line whose first field is no telephone number is kept as it is,
    // written back unchanged, and named by damageText(): a number somebody meant to stop is never dropped
    // silently, nor made up.
    static OptOutList fromBytes(const QByteArray& bytes);
    // The file's image: the entries and the kept lines in their order, each ended by CR LF.
    QByteArray toBytes() const;

    std::vector<OptOutEntry> entries() const;
    qsizetype size() const { return m_keyCount.size(); }
    // Whether `written` (any way of writing the number) is on the list.
    bool contains(QByteArrayView written) const;
    // `key` is a NumberKey.
    bool containsKey(const QByteArray& key) const;

    // Adds `number` as added on `day`; a note's line ends become spaces.
    OptOutAdd add(QByteArrayView number, QByteArrayView note, const QDate& day);
    // Removes every entry of `number`'s key; how many there were.
    int remove(QByteArrayView number);

    // "拒收名單檔案第 3 行不是手機門號，已保留原樣：abc", for the first few such lines; empty when none.
    QString damageText() const;
    int damagedLines() const { return int(m_damaged.size()); }

private:
    struct Line {
        OptOutEntry entry;
        QByteArray kept; // a line that holds no number, as it was; empty for an entry
    };
    void countKey(const QByteArray& key, int change);

    std::vector<Line> m_lines;
    QHash<QByteArray, int> m_keyCount;                       // entries by NumberKey
    std::vector<std::pair<qsizetype, QByteArray>> m_damaged; // line (from 1) and its bytes, as read
};

// Reads the list; a missing file is an empty list. False with the reason when the file cannot be read.
bool ReadOptOutFile(const QString& path, OptOutList* list, QString* error);

// Reads the list under its lock, lets `change` change it (true when it did) and writes it back atomically
// before the lock goes. `after` gets the list as it now stands. A lock another program holds is waited for
// when `wait`, otherwise the change is refused naming who holds it. False with the reason, the file unchanged.
bool ChangeOptOutFile(const QString& path, const std::function<bool(OptOutList&)>& change, OptOutList* after,
                      QString* error, bool wait = true);

// The numbers of a text or CSV file to import, one a line: the first field (up to a comma, Tab or ";",
// quotes around it dropped), then optionally the day added and a note as OptOut.txt has them, or a note
// alone. Big5 or UTF-8, whichever the whole file is.
struct OptOutImport {
    std::vector<OptOutEntry> entries; // `added` empty where the line gave no day
    int skipped = 0;                  // lines without a number (blank lines aside)
    QStringList named;                // the first few of them: "第 N 行 TEXT"
    QString error;                    // the file could not be read, or is neither Big5 nor UTF-8
};
OptOutImport ReadOptOutImport(const QString& path);
// Adds what an import read; numbers already listed are counted, not added twice.
struct OptOutImportCount {
    int added = 0;
    int alreadyListed = 0;
};
OptOutImportCount AddImported(OptOutList& list, const OptOutImport& import, const QDate& today);
// "匯入 N 筆，已在名單中 M 筆，略過 K 行（不是手機門號）：…"
QString OptOutImportText(const OptOutImportCount& count, const OptOutImport& import);

// Writes the entries (not the kept lines) in OptOut.txt's form to `path`, atomically. Refuses the program's own
// files in `startDir`. False with the reason.
bool ExportOptOut(const OptOutList& list, const QString& path, const QString& startDir, QString* error);

// The day an entry was added, as the file writes it.
QByteArray OptOutDay(const QDate& day);

} // namespace norvi
