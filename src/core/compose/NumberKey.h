#pragma once

#include <QByteArray>
#include <QByteArrayView>

// One person, one number: the same mobile number is written 0912-345-678, 0912 345 678, +886912345678 or
// 886912345678, and a run, the stop list and the duplicate check must see one number in all of them.
namespace norvi {

// The comparison key of a written number: spaces, dashes, dots and brackets dropped, and +886, 886 or 00886
// in front of 9 and eight more digits read as 09 and those digits (or in front of 09 and eight more, as
// those). Anything else is compared as written.
QByteArray NumberKey(QByteArrayView written);

// The number as it is sent and written to the send log: a number written with those separators goes
// without them (0912-345-678 as 0912345678); every other text goes as written (spaces at its ends aside), so
// a +886 number keeps its "+" and goes out as an international one.
QByteArray SentNumber(QByteArrayView written);

} // namespace norvi
