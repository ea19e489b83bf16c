#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Files a user names as input (a recipient list, a message text): read up to a limit, and checked line by
// line for the encoding they are said to be in.
namespace norvi {

enum class InputRead { Ok, CannotOpen, TooLarge, ReadError, NotAFile };

// Opens a file the program reads: a regular file (a symbolic link to one is followed), opened without
// waiting, so a named pipe nobody writes or a device never holds the program. The descriptor, or -1 with
// `reason` set (without the path): why it cannot be opened, or what it is when it is no regular file
// (then `notAFile` is set too).
int OpenInputFile(const QString& path, QString* reason, bool* notAFile = nullptr);
// "無法讀取檔案 PATH：REASON。"
QString InputRefusalText(const QString& path, const QString& reason);

// Reads the whole file into `bytes` when it holds at most `limit` bytes; a longer one is TooLarge. A
// folder, pipe, device or socket is NotAFile, with `refusal` set to InputRefusalText. A file that cannot
// be opened or read sets `reason` to the system's reason (without the path), for the caller's own message.
InputRead ReadInputFile(const QString& path, qint64 limit, QByteArray* bytes, QString* refusal = nullptr,
                        QString* reason = nullptr);

// The number (from 1) of the first line that is not Big5 text, or 0 when every line is. Big5 text is
// ASCII without NUL bytes and two-byte characters of code page 950 (a lead byte 0x81..0xFE, a second byte
// 0x40..0x7E or 0xA1..0xFE, a code the code page assigns). CR, LF or CR LF ends a line.
int FirstNonBig5Line(const QByteArray& bytes);

// The same for UTF-8 text without NUL bytes.
int FirstNonUtf8Line(const QByteArray& bytes);

// Whether one piece of text (a line) is Big5 text, or UTF-8 text, as the two checks above take it.
// Each call sets up a decoder: for the few lines of a file that failed the whole-file check.
bool IsBig5Text(QByteArrayView text);
bool IsUtf8Text(QByteArrayView text);

} // namespace norvi
