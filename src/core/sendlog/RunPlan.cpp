#include "core/sendlog/RunPlan.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecord.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"

#include <QFile>

#include <cstddef>
#include <functional>

namespace norvi {

namespace {

const QByteArray kMagic = "norvi-plan 1";
constexpr qint64 kRecordsStart = 4; // the record count before the records
constexpr qsizetype kBufferBytes = qsizetype(256) * 1024;

QByteArray escaped(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray unescaped(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const char next = field[++i];
        out += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
    }
    return out;
}

// One planned short message.
struct PlannedMessage {
    int image = ImageNone;
    QByteArray name;
    QByteArray number;
    QByteArray segment;
};

// Reads the plan's messages in order, handing each to `each` with its index; false (with `problem`) when
// the file is not a plan this program wrote.
bool readPlan(const QString& path, qint64* before, const std::function<void(qint64, const PlannedMessage&)>& each,
              QString* problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("無法讀取 %1：%2").arg(path, file.errorString());
        return false;
    }
    const auto bad = [&] {
        *problem = QStringLiteral("%1 不是本程式寫的傳送計畫").arg(path);
        return false;
    };
    if (file.readLine().trimmed() != kMagic)
        return bad();
    const QList<QByteArray> head = file.readLine().trimmed().split('\t');
    bool ok = false;
    *before = head.size() == 2 && head[0] == "before" ? head[1].toLongLong(&ok) : -1;
    if (!ok || *before < 0)
        return bad();
    std::vector<QByteArray> common;
    bool commonOpen = false; // M lines in a row add to the common text; one after others starts a new one
    qint64 index = 0;
    while (!file.atEnd()) {
        QByteArray text = file.readLine();
        if (text.endsWith('\n'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        const QList<QByteArray> fields = text.split('\t');
        const QByteArray& kind = fields[0];
        if (kind == "M" && fields.size() == 2) {
            if (!commonOpen)
                common.clear();
            common.push_back(unescaped(fields[1]));
            commonOpen = true;
            continue;
        }
        commonOpen = false;
        if ((kind != "R" && kind != "S") || fields.size() < 4)
            return bad();
        PlannedMessage message;
        message.image = fields[1].toInt(&ok);
        if (!ok)
            return bad();
        message.number = unescaped(fields[2]);
        message.name = unescaped(fields[3]);
        if (kind == "R") {
            for (const QByteArray& segment : common) {
                message.segment = segment;
                each(index++, message);
            }
            continue;
        }
        for (qsizetype k = 4; k < fields.size(); ++k) {
            message.segment = unescaped(fields[k]);
            each(index++, message);
        }
    }
    return true;
}

// The number of the journal's row `index` (from 0), read from its record: -1 bytes when it cannot be.
bool rowNumber(const QString& journal, qint64 index, QByteArray* number) {
    QFile file(journal);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    sLogRecord record;
    if (!file.seek(kRecordsStart + index * qint64(sizeof record)) ||
        file.read(reinterpret_cast<char*>(&record), sizeof record) != qint64(sizeof record))
        return false;
    *number = getField(record.msisdn);
    return true;
}

} // namespace

RunPlanWriter::RunPlanWriter(const QString& journal, qint64 rowsBefore)
    : m_file(RunPlanPath(journal)), m_before(rowsBefore) {}

bool RunPlanWriter::open() {
    if (!m_file.open())
        return false;
    m_buffer = kMagic + "\nbefore\t" + QByteArray::number(m_before) + '\n';
    return true;
}

void RunPlanWriter::line(const QList<QByteArray>& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_buffer += '\t';
        m_buffer += escaped(fields[i]);
    }
    m_buffer += '\n';
    if (m_buffer.size() >= kBufferBytes) {
        m_file.write(m_buffer);
        m_buffer.clear();
    }
}

void RunPlanWriter::add(int image, const QByteArray& name, const QByteArray& number,
                        const std::vector<QByteArray>& segments) {
    // The run's common text is written once; each recipient who gets it costs one short line.
    if (!m_commonWritten) {
        m_common = segments;
        m_commonWritten = true;
        for (const QByteArray& segment : m_common)
            line({"M", segment});
    }
    const QByteArray imageText = QByteArray::number(image);
    if (segments == m_common) {
        line({"R", imageText, number, name});
        return;
    }
    QList<QByteArray> fields{"S", imageText, number, name};
    for (const QByteArray& segment : segments)
        fields.append(segment);
    line(fields);
}

bool RunPlanWriter::commit() {
    m_file.write(m_buffer);
    m_buffer.clear();
    return m_file.commit();
}

QString RunPlanWriter::errorString() const {
    return m_file.errorString();
}

QString RunPlanPath(const QString& journal) {
    return journal + QStringLiteral(".plan");
}

void RemoveRunPlan(const QString& journal) {
    QFile::remove(RunPlanPath(journal));
}

QByteArray InterruptedNotSentText() {
    return big5(QStringLiteral("未傳送：程式中斷"));
}

QByteArray DamagedRecordText() {
    return big5(QStringLiteral("紀錄已損壞，可能已送出"));
}

UnreachedRows FindUnreachedRows(const QString& journal, qint64 rowCount, const QByteArray& sendTime) {
    UnreachedRows result;
    // The records a power cut left damaged at the journal's end stand for messages the run had reached: each was
    // recorded before its request, so it may have gone out, and is never taken for one that did not.
    LogFileReader damage(journal);
    damage.readEveryWholeRecord();
    const qint64 damaged = damage.open() ? damage.damagedTail() : 0;
    const QString path = RunPlanPath(journal);
    if (!QFile::exists(path))
        return result;
    result.planned = true;
    qint64 before = 0;
    const auto misfit = [&result](const QString& why) {
        result.fits = false;
        result.problem = why;
        result.rows.clear();
        result.notSent = 0;
        return result;
    };
    // The run's rows are the plan's first messages, in order: the last of them names the same number.
    qint64 reached = -1;
    qint64 total = 0;
    QByteArray lastNumber;
    QByteArray plannedLast;
    const QByteArray code = QByteArray::number(-1);
    QString problem;
    const bool read = readPlan(
        path, &before,
        [&](qint64 index, const PlannedMessage& message) {
            if (reached < 0)
                reached = rowCount - before;
            total = index + 1;
            if (index == reached - 1)
                plannedLast = message.number;
            if (index < reached)
                return;
            const bool recordLost = index < reached + damaged;
            SendLogRow row;
            row.image = message.image;
            row.texts[ColName] = message.name;
            row.texts[ColMobile] = message.number;
            row.texts[ColSendTime] = sendTime;
            row.texts[ColSendCode] = code;
            row.texts[ColSendResult] = recordLost ? DamagedRecordText() : InterruptedNotSentText();
            row.texts[ColContent] = message.segment;
            result.rows.push_back(row);
            ++(recordLost ? result.damaged : result.notSent);
        },
        &problem);
    if (!read)
        return misfit(problem);
    const qint64 runRows = rowCount - before;
    if (runRows < 0 || runRows + damaged > total)
        return misfit(QStringLiteral("傳送紀錄的筆數與傳送計畫不符"));
    if (runRows > 0 && (!rowNumber(journal, rowCount - 1, &lastNumber) || lastNumber != plannedLast))
        return misfit(QStringLiteral("傳送紀錄的最後一筆不是傳送計畫中的簡訊"));
    return result;
}

void AddUnreachedRows(UnreachedRows* into, const UnreachedRows& more) {
    if (!more.planned)
        return;
    into->planned = true;
    if (!more.fits) {
        into->fits = false;
        into->problem = more.problem;
    }
    into->rows.insert(into->rows.end(), more.rows.begin(), more.rows.end());
    into->notSent += more.notSent;
    into->damaged += more.damaged;
}

QString UnreachedRowsText(const UnreachedRows& unreached) {
    QString problem;
    if (!unreached.fits)
        problem = QStringLiteral("程式中斷時的傳送計畫無法使用（%1），其中的簡訊未補上紀錄。").arg(unreached.problem);
    QString text;
    if (unreached.damaged > 0)
        text = QStringLiteral(
                   "程式中斷時有 %1 "
                   "則簡訊的紀錄已損壞，已補上「紀錄已損壞，可能已送出」，請先查詢收訊人是否已收到再決定是否重發。")
                   .arg(unreached.damaged);
    if (unreached.notSent == 0)
        return text + problem;
    text += QStringLiteral("程式中斷時尚有 %1 則簡訊沒有傳送紀錄，已補上「未傳送：程式中斷」").arg(unreached.notSent);
    return text + QStringLiteral("。") + problem;
}

} // namespace norvi
