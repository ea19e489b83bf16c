#pragma once

#include "CliArgs.h"

#include <QByteArray>
#include <QString>

// Text from the command line and from the files it names: read within their limits, checked for the
// encoding they are said to be in, and converted to Big5. Every refusal is printed on standard error.
namespace norvi::cli {

// The message of send and segment. With --big5 a file's bytes are the Big5 text itself (`raw`);
// otherwise `raw` stays empty and the text is converted where it is checked.
struct MessageText {
    QString text;
    QByteArray raw;
    bool isRaw = false;
};

// --text or --text-file (with --big5); false when the text cannot be used.
bool readMessageText(const Arguments& a, MessageText* message);

// A recipient list file as Big5 bytes: a UTF-8 file converted, a --big5 file checked.
bool readListFile(const QString& path, bool big5File, QByteArray* bytes);

// A command-line text as Big5; false, naming the character, when one has no Big5 form.
bool toBig5Argument(const QString& text, QByteArray* bytes);

} // namespace norvi::cli
