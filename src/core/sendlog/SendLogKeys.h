#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace norvi {

// The send log's text order: ASCII letters without case (folded to upper case), every other byte by
// its unsigned value, a proper prefix first. Returns <0, 0 or >0.
int compareSendLogKeys(const QByteArray& a, const QByteArray& b);

// The first eight bytes of a key as compareSendLogKeys sees them, big-endian and zero-padded: keys whose
// prefixes differ are ordered by the prefixes alone, so most comparisons of a sort touch no text.
quint64 sendLogKeyPrefix(const QByteArray& key);

} // namespace norvi
