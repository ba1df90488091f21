#pragma once
// Lets GoogleTest print Qt strings in failure messages.

#include <QString>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    QString shown = s;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    *os << '"' << shown.toStdString() << '"';
}
