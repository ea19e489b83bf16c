#include "cli/CliInput.h"

#include "cli/CliOutput.h"

#include "core/compose/RecipientLists.h"
#include "core/compose/SendValidation.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/InputFile.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>

namespace norvi::cli {

namespace {

// `tooLarge` is what is said about a file past `limit`.
bool readFile(const QString& path, qint64 limit, const QString& tooLarge, QByteArray* bytes, Console& console) {
    QString refusal;
    QString reason;
    switch (ReadInputFile(path, limit, bytes, &refusal, &reason)) {
    case InputRead::Ok:
        return true;
    case InputRead::TooLarge:
        console.err(tooLarge);
        return false;
    case InputRead::NotAFile:
        console.err(refusal);
        return false;
    case InputRead::CannotOpen:
    case InputRead::ReadError:
        break;
    }
    console.err(WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), reason));
    return false;
}

// Bytes that are not text in the encoding the file is said to be in are refused by line, before
// anything is converted or sent. A NUL byte is a character of either encoding, one that no message may
// hold: it is named for what it is once the text is read (a byte 0x01 stands for it here, which is as
// little a part of a two-byte character as the NUL is).
bool checkEncoding(QByteArray bytes, bool big5File, const QString& path, Console& console) {
    bytes.replace('\0', '\x01');
    if (big5File) {
        const int line = FirstNonBig5Line(bytes);
        if (line == 0)
            return true;
        console.err(QStringLiteral("檔案 %1 第 %2 行不是 Big5 文字；UTF-8 的檔案請不要加上 --big5。")
                        .arg(path, QString::number(line)));
        return false;
    }
    const int line = FirstNonUtf8Line(bytes);
    if (line == 0)
        return true;
    console.err(QStringLiteral("檔案 %1 第 %2 行不是 UTF-8 文字；Big5 碼的檔案請加上 --big5。")
                    .arg(path, QString::number(line)));
    return false;
}

QString decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8);
    return decoder.decode(bytes);
}

// A text file's last line end ends the line; it is not part of the message.
QByteArray withoutFinalLineEnd(QByteArray bytes) {
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    else if (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    return bytes;
}

// A line end inside the text is a line break of the message, whichever form the file's editor wrote: the
// send dialog's field gives a line feed alone. A CR LF would take two characters of a short message (a Big5
// text of 70 characters would go as two) and reach some phones as two breaks. No Big5 byte is a CR or LF.
QByteArray withLineFeeds(QByteArray bytes) {
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    return bytes;
}

} // namespace

bool readMessageText(const Arguments& a, MessageText* message, Console& console) {
    const bool fromArg = a.values.contains(QStringLiteral("--text"));
    const bool fromFile = a.values.contains(QStringLiteral("--text-file"));
    if (fromArg && fromFile) {
        console.err(QStringLiteral("請只指定 --text 或 --text-file 其中之一。"));
        return false;
    }
    if (fromArg) {
        message->text = a.value(QStringLiteral("--text"));
        return true;
    }
    if (!fromFile)
        return true;
    const QString path = a.value(QStringLiteral("--text-file"));
    const bool big5File = a.switches.contains(QStringLiteral("--big5"));
    QByteArray bytes;
    const QString tooLarge = QStringLiteral("訊息檔案 %1 超過 %2 KB，不是一則簡訊的內容（一則訊息最多分成六通簡訊）。")
                                 .arg(path, QString::number(kMaxMessageFileBytes / 1024));
    if (!readFile(path, kMaxMessageFileBytes, tooLarge, &bytes, console) ||
        !checkEncoding(bytes, big5File, path, console))
        return false;
    bytes = withLineFeeds(withoutFinalLineEnd(bytes));
    message->text = big5File ? fromBig5(bytes) : decodeUtf8(bytes);
    // Every other control character is the send's to refuse, as in typed text; a NUL would end the text
    // where it stands, so no command takes it, whatever it does with the text.
    if (const qsizetype nul = message->text.indexOf(QChar(u'\0')); nul >= 0) {
        console.err(ControlCharacterText(nul, u'\0'));
        return false;
    }
    if (big5File) {
        message->raw = bytes;
        message->isRaw = true;
    }
    return true;
}

bool toBig5Argument(const QString& text, QByteArray* bytes, Console& console) {
    QString unmappable;
    if (toBig5(text, *bytes, &unmappable))
        return true;
    console.err(unmappableMessage(unmappable));
    return false;
}

QString ListFileProblemText(const ListFileCheck& check, const QString& path) {
    switch (check.problem) {
    case ListFileProblem::None:
        return {};
    case ListFileProblem::TooLarge:
        return QStringLiteral("發訊名單檔案 %1 超過 %2 MB，無法載入。")
            .arg(path, QString::number(kMaxListFileBytes / (1024 * 1024)));
    case ListFileProblem::CannotOpen:
    case ListFileProblem::ReadError:
        return WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), check.reason);
    case ListFileProblem::NulByte:
        return QStringLiteral("%1：").arg(path) + ListFileNulLineText(check.line);
    case ListFileProblem::NotBig5:
        return QStringLiteral("檔案 %1 第 %2 行不是 Big5 文字；UTF-8 的檔案請不要加上 --big5。")
            .arg(path, QString::number(check.line));
    case ListFileProblem::NotUtf8:
        return QStringLiteral("檔案 %1 第 %2 行不是 UTF-8 文字；Big5 碼的檔案請加上 --big5。")
            .arg(path, QString::number(check.line));
    case ListFileProblem::TooManyLines:
        return QStringLiteral("發訊名單檔案 %1 有 %2 行，超過 %3 行的上限，無法載入。")
            .arg(path, QString::number(check.lines), QString::number(kMaxListFileLines));
    case ListFileProblem::Unmappable:
        return QStringLiteral("發訊名單 %1：").arg(path) + unmappableMessage(check.unmappable);
    case ListFileProblem::NotAFile:
    case ListFileProblem::Workbook:
        return check.refusal;
    case ListFileProblem::Changed:
        return QStringLiteral("發訊名單檔案 %1 在讀取時被更改，請再試一次。").arg(path);
    }
    return {};
}

bool logArgument(const Arguments& a, QString* path, Console& console) {
    if (!a.positional.isEmpty()) {
        console.err(QStringLiteral("多餘的參數：%1").arg(a.positional.join(QLatin1Char(' '))));
        return false;
    }
    if (!a.values.contains(QStringLiteral("--log"))) {
        console.err(QStringLiteral("請以 --log 指定傳送紀錄檔。"));
        return false;
    }
    *path = a.value(QStringLiteral("--log"));
    return true;
}

bool readEveryRecord(LogFileReader& reader, const QString& path, Console& console,
                     const std::function<void(const SendLogRow&)>& each) {
    if (!reader.open()) {
        // A pipe or device at the name is said for what it is.
        console.err(reader.refused()
                        ? reader.refusal()
                        : WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + path, reader.errorString()));
        return false;
    }
    SendLogRow row;
    while (reader.next(row))
        if (each)
            each(row);
    if (reader.refused()) {
        console.err(reader.refusal());
        return false;
    }
    return true;
}

} // namespace norvi::cli
