#pragma once

// Lets GoogleTest print Qt texts readably in failure messages.

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(QStringView text, std::ostream* os)
{
    *os << '"' << text.toString().toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '[';
    for (qsizetype i = 0; i < list.size(); ++i)
        *os << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *os << ']';
}

// For messages streamed into an assertion: EXPECT_...() << name.
inline std::ostream& operator<<(std::ostream& os, const QString& text)
{
    return os << text.toStdString();
}

inline std::ostream& operator<<(std::ostream& os, const QStringList& list)
{
    PrintTo(list, &os);
    return os;
}
