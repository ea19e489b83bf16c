#pragma once

#include "core/sendlog/LogRecord.h"

#include <QIODevice>
#include <QString>

// Whether the records of a ".log" file can be send-log rows at all. A file is anything a user can pick
// in an open dialog: random bytes with a plausible count would otherwise load as rows of control
// characters that a resend then sends. The rules take everything this program writes (texts cut at a
// field's width, CR, LF and TAB in a message, gateway texts as they came, the rows a stopped run leaves
// with code -1) and refuse what it never writes.
namespace norvi {

// Why the record cannot be a send-log row, as the end of a sentence about it; empty when it can.
QString LogRecordFault(const sLogRecord& record);

// "不是發訊紀錄檔" with the record (from 1) and its fault.
QString NotSendLogText(qint64 record, const QString& fault);

struct LogFileCheck {
    bool opened = false; // false: the file could not be opened or is too short for its count
    QString refusal;     // NotSendLogText of the first bad record, or why a file that is no regular file is
                         // not read; empty when every record is a row
};

// Reads every record the file holds before anything is done with them, so a refused file changes
// nothing: the load asks whether to clear the list only after this passed.
LogFileCheck CheckLogFile(const QString& path);
LogFileCheck CheckLogFile(QIODevice& device);

} // namespace norvi
