#pragma once

#include "core/compose/RecipientRecords.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <list>

// Numbers typed into one recipient with "," or spaces between them, the way other programs separate them:
// the recipient field separates recipients with ";", so such a recipient would go to the gateway as one
// number too long to be sent. The send dialog explains that and offers to split them.
namespace norvi {

// The numbers of a typed recipient that holds several, separated by ",", "，", "、" or white space; empty
// when it holds one, or when a part of it is no whole telephone number (a name with a comma stays a name,
// a number written in groups stays one number).
QStringList SeparatedNumbers(QByteArrayView typed);

// The typed recipients of `entries` that hold several numbers, as they were typed.
QStringList EntriesWithSeparatedNumbers(const std::list<sMtData>& entries);
// Each of them becomes one typed recipient per number, in its place.
void SplitSeparatedNumbers(std::list<sMtData>& entries);

// The send dialog's question about them, naming a handful.
QString SeparatedNumbersQuestion(const QStringList& typed);

} // namespace norvi
