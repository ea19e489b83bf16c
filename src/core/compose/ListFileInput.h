#pragma once

#include "core/compose/ComposeState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A recipient list file as the send dialog's 上載... reads it: within the size and line limits, without NUL
// bytes, and in Big5 or UTF-8 (whichever the whole file is), so that the rows hold Big5 like every record.
namespace norvi {

struct ListFileText {
    bool ok = false;
    QString error;    // why the file is refused; nothing has been read into the rows then
    QByteArray bytes; // the file's text in Big5
};

ListFileText ReadRecipientListFile(const QString& path);

// What the user should know about the rows just read into `parsed`'s ListFileRows: rows without a number are never
// sent, and a number longer than 29 bytes would refuse the whole run at 傳送. Empty when there is nothing
// to say. Lines are numbered from 1, as an editor shows them.
QString ListFileRowNotes(const ParsedRecipients& parsed);

} // namespace norvi
