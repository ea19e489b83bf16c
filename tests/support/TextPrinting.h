#pragma once

#include <QString>

#include <ostream>

// Texts in failure messages as the user reads them.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
