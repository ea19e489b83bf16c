#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/compose/ListFileStream.h"
#include "core/sendlog/SendLogRow.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Text from the command line and from the files it names: read within their limits, checked for the
// encoding they are said to be in, and converted to Big5. Every refusal is printed on the console's standard
// error.
namespace norvi {
class LogFileReader;
} // namespace norvi

namespace norvi::cli {

// The message of send and segment. With --big5 a file's bytes are the Big5 text itself (`raw`);
// otherwise `raw` stays empty and the text is converted where it is checked.
struct MessageText {
    QString text;
    QByteArray raw;
    bool isRaw = false;
};

// --text or --text-file (with --big5); false when the text cannot be used.
bool readMessageText(const Arguments& a, MessageText* message, Console& console);

// What is wrong with a recipient list file (a UTF-8 file is converted, a --big5 file checked, as the list is
// read a piece at a time); empty when nothing is.
QString ListFileProblemText(const ListFileCheck& check, const QString& path);

// A command-line text as Big5; false, naming the character, when one has no Big5 form.
bool toBig5Argument(const QString& text, QByteArray* bytes, Console& console);

// The send log a command names with --log, when nothing else stands on its line; false, saying why.
bool logArgument(const Arguments& a, QString* path, Console& console);

// Opens `reader` and reads every record of its log, so a refused file is known before anything is written
// from it; false, with the reason on standard error, when it cannot be opened or a record cannot be a row.
// A cut or unfinished file reads true: the caller asks reader.damaged(). `each` sees every row read.
bool readEveryRecord(LogFileReader& reader, const QString& path, Console& console,
                     const std::function<void(const SendLogRow&)>& each = {});

} // namespace norvi::cli
