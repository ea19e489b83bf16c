#pragma once

#include <QByteArray>
#include <QString>

// What the address book's editors say to the user, and the checks of what the user typed.
namespace norvi {

enum class NumberCheck {
    Valid,     // digits, optionally after a leading "+"
    Empty,     // nothing typed
    NotAscii,  // refused: "手機門號只能包含ASCII字元"
    Separator, // refused: ";" or "@" would split the number or mark it as the default when stored
    Unusual,   // other ASCII: the user is asked whether to take it anyway
};

NumberCheck CheckMobileNumber(const QString& number);

QString NotAsciiNumberText();
QString SeparatorNumberText();
// "輸入的內容 <number> 不是有效的手機門號，\n仍然想新增這個門號？" (or 修改 when a row is edited).
QString UnusualNumberQuestion(const QString& number, bool adding);
QString NoNumberText();
QString NumbersTooLongText(int bytes);

QString GroupOverfullText(); // the group editor's and the picker's OK with more than 1,000 entries
QString GroupNoRoomText();   // a new member for a group whose 1,000 slots are taken
QString GroupCycleText(const QString& groupName);
// The program's end while the book holds changes no save could write.
QString BookUnsavedAtExitText();

// A typed text turned into the Big5 bytes of a record field, or the reason it cannot be stored.
struct FieldText {
    bool ok = true;
    QByteArray bytes;
    QString error;
};

// Names are stored trimmed: characters with codes 0x20 and below are dropped from both ends. A text
// without a Big5 form, or longer than the field, is refused with a message that names the field, rather
// than stored changed.
FieldText NameFieldText(const QString& typed, int width, const QString& fieldName);
// Descriptions are stored as typed.
FieldText PlainFieldText(const QString& typed, int width, const QString& fieldName);

} // namespace norvi
