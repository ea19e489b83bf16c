#pragma once

#include "core/shared/CappedLines.h"

#include <QString>

namespace norvi {

// What a first reading of a recipient list file finds in its bytes as they stand: every byte is looked at,
// a long line's tail too, but no more than about two pieces are held at a time. Each figure is the one the
// whole-file checks (CountListFileLines, FirstListLineWithNul, FirstNonUtf8Line, FirstNonBig5Line, toBig5)
// give for the whole file, naming the same line, so the file is judged as if it had been read whole.
struct ListFileSurvey {
    bool readFailed = false; // a read failed; `error` holds its number
    int error = 0;
    bool tooLarge = false; // more than the limit was read; nothing else is known
    qint64 lines = 0;
    qint64 nulLine = 0;     // the first line (from 1) with a NUL byte, 0 when none has one
    qint64 notUtf8Line = 0; // the first line that is not UTF-8 text, 0 when every line is
    qint64 notBig5Line = 0; // the same for Big5
    QString unmappable;     // of a file that is UTF-8 throughout: its first character without a Big5 form
};

// Reads `read` to its end, a piece of `pieceSize` bytes at a time.
ListFileSurvey SurveyListFile(const CappedLineReader::Source& read, qint64 limit,
                              qsizetype pieceSize = qsizetype(1024) * 1024);

} // namespace norvi
