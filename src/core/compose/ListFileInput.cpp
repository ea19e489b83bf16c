#include "core/compose/ListFileInput.h"

#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"
#include "core/shared/SystemErrorText.h"

#include <QStringDecoder>

namespace norvi {

namespace {

// How many line numbers a note names before it says how many more there are.
constexpr int kNamedLines = 10;

QString lineList(const QList<qint64>& lines) {
    QStringList named;
    for (int i = 0; i < lines.size() && i < kNamedLines; ++i)
        named << QString::number(lines.at(i));
    QString text = named.join(QStringLiteral("、"));
    if (lines.size() > kNamedLines)
        text += QStringLiteral(" 行等共 %1").arg(lines.size());
    return text;
}

} // namespace

ListFileText ReadRecipientListFile(const QString& path) {
    ListFileText result;
    QByteArray raw;
    QString refusal;
    QString reason;
    switch (ReadInputFile(path, kMaxListFileBytes, &raw, &refusal, &reason)) {
    case InputRead::Ok:
        break;
    case InputRead::NotAFile:
        result.error = refusal;
        return result;
    case InputRead::TooLarge:
        result.error = QStringLiteral("發訊名單檔案 %1 超過 %2 MB，無法載入。")
                           .arg(path, QString::number(kMaxListFileBytes / (1024 * 1024)));
        return result;
    case InputRead::CannotOpen:
    case InputRead::ReadError:
        result.error = WithReason(QStringLiteral("無法讀取檔案：%1").arg(path), reason);
        return result;
    }
    // Named for what it is before the encoding check, which would only call the line "not text".
    if (const qsizetype line = FirstListLineWithNul(raw)) {
        result.error = path + QStringLiteral("：") + ListFileNulLineText(line);
        return result;
    }
    const qsizetype lines = CountListFileLines(raw);
    if (lines > kMaxListFileLines) {
        result.error = QStringLiteral("發訊名單檔案 %1 有 %2 行，超過 %3 行的上限，無法載入。")
                           .arg(path, QString::number(lines), QString::number(kMaxListFileLines));
        return result;
    }
    // A file that is UTF-8 throughout is taken as UTF-8 (plain ASCII is both); otherwise it must be Big5.
    // Chinese text in one encoding is practically never valid in the other, so the guess is safe.
    if (FirstNonUtf8Line(raw) == 0) {
        QStringDecoder decoder(QStringConverter::Utf8);
        const QString text = decoder.decode(raw);
        QString unmappable;
        if (!toBig5(text, result.bytes, &unmappable)) {
            result.error = QStringLiteral("發訊名單 %1：").arg(path) + unmappableMessage(unmappable);
            return result;
        }
        result.ok = true;
        return result;
    }
    if (const int line = FirstNonBig5Line(raw)) {
        result.error = QStringLiteral("發訊名單檔案 %1 第 %2 行不是 Big5 或 UTF-8 文字，無法載入。")
                           .arg(path, QString::number(line));
        return result;
    }
    result.bytes = raw;
    result.ok = true;
    return result;
}

QString ListFileRowNotes(const ParsedRecipients& parsed) {
    QList<qint64> withoutNumber;
    QList<qint64> tooLong;
    for (const auto& [line, row] : parsed.ListFileRows) {
        const QByteArray number = getField(row.msisdn);
        if (number.isEmpty())
            withoutNumber << qint64(line) + 1;
        else if (number.size() > kMaxNumberLength)
            tooLong << qint64(line) + 1;
    }
    QStringList notes;
    if (!withoutNumber.isEmpty())
        notes << QStringLiteral("發訊名單第 %1 行沒有電話號碼，這些行不會傳送。").arg(lineList(withoutNumber));
    if (!tooLong.isEmpty())
        notes
            << QStringLiteral("發訊名單第 %1 行的電話號碼超過29個字元，傳送前請先修正或移除。").arg(lineList(tooLong));
    return notes.join(QLatin1Char('\n'));
}

} // namespace norvi
