#include "core/addressbook/BookTexts.h"

#include "core/addressbook/AddressBookRecords.h"
#include "core/shared/Big5.h"

namespace norvi {

namespace {

QString groupLimit() {
    return QString::number(kGroupSlots);
}

FieldText fieldText(const QString& text, int width, const QString& fieldName) {
    FieldText result;
    QString unmappable;
    if (!toBig5(text, result.bytes, &unmappable)) {
        result.ok = false;
        result.error = fieldName + QStringLiteral("：") + unmappableMessage(unmappable);
        return result;
    }
    if (result.bytes.size() > width) {
        result.ok = false;
        result.error = QStringLiteral("%1最長 %2 個位元組（每個中文字佔 2 個位元組），您輸入了 %3 個位元組，請縮短。")
                           .arg(fieldName, QString::number(width), QString::number(result.bytes.size()));
    }
    return result;
}

} // namespace

NumberCheck CheckMobileNumber(const QString& number) {
    if (number.isEmpty())
        return NumberCheck::Empty;
    for (const QChar c : number)
        if (c.unicode() >= 0x80)
            return NumberCheck::NotAscii;
    if (number.contains(QLatin1Char(';')) || number.contains(QLatin1Char('@')))
        return NumberCheck::Separator;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digit && !(i == 0 && c == QLatin1Char('+')))
            return NumberCheck::Unusual;
    }
    return NumberCheck::Valid;
}

QString NotAsciiNumberText() {
    return QStringLiteral("手機門號只能包含ASCII字元");
}

QString SeparatorNumberText() {
    return QStringLiteral("手機門號不能包含「;」或「@」：通訊錄以「;」分隔多個門號，以「@」標示預設門號。");
}

QString UnusualNumberQuestion(const QString& number, bool adding) {
    return QStringLiteral("輸入的內容 ") + number + QStringLiteral(" 不是有效的手機門號，\n仍然想") +
           (adding ? QStringLiteral("新增") : QStringLiteral("修改")) + QStringLiteral("這個門號？");
}

QString NoNumberText() {
    return QStringLiteral("請輸入成員的手機門號");
}

QString NumbersTooLongText(int bytes) {
    return QStringLiteral("所有手機門號合計最長 120 個字元（含分隔的「;」與預設門號的「@」），目前有 %1 個字元，"
                          "請移除或縮短一些門號。")
        .arg(bytes);
}

QString GroupOverfullText() {
    return QStringLiteral("本群組已超過最大成員數(") + groupLimit() + QStringLiteral(")，請移除一些成員！");
}

QString GroupNoRoomText() {
    return QStringLiteral("本群組已達最大成員數(") + groupLimit() + QStringLiteral(")，無法再新增其他成員！");
}

QString BookUnsavedAtExitText() {
    return QStringLiteral("通訊錄的變更尚未寫入檔案，結束程式後這些變更會遺失。\n仍要結束？");
}

QString GroupCycleText(const QString& groupName) {
    return QStringLiteral("無法將群組'") + groupName + QStringLiteral("'加到這個群組，\n原因是群組'") + groupName +
           QStringLiteral("'已經包含這個群組");
}

FieldText NameFieldText(const QString& typed, int width, const QString& fieldName) {
    qsizetype begin = 0, end = typed.size();
    while (begin < end && typed.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && typed.at(end - 1).unicode() <= 0x20)
        --end;
    return fieldText(typed.mid(begin, end - begin), width, fieldName);
}

FieldText PlainFieldText(const QString& typed, int width, const QString& fieldName) {
    return fieldText(typed, width, fieldName);
}

} // namespace norvi
