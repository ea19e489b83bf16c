#pragma once

#include <QByteArrayView>
#include <QString>

namespace norvi {

// Most scam texts in Taiwan carry a link, so a message with one reads as a scam to many of its recipients: a
// text (Big5) that holds "http", "www." or a short-link host (reurl.cc, bit.ly, tinyurl.com, ...).
bool HoldsLink(QByteArrayView big5Text);

// "訊息含有網址，收訊人可能當成詐騙簡訊"
QString LinkWarningText();

} // namespace norvi
