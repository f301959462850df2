#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <ostream>

// Readable failure messages for the Qt types tests compare most. Found by argument-dependent lookup,
// so they live in the global namespace beside the Qt types.
inline void PrintTo(const QString &value, std::ostream *out)
{
    *out << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QByteArray &value, std::ostream *out)
{
    *out << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList &values, std::ostream *out)
{
    *out << '[';
    for (qsizetype i = 0; i < values.size(); ++i) {
        *out << (i ? ", " : "") << '"' << values[i].toStdString() << '"';
    }
    *out << ']';
}

inline void PrintTo(const QUrl &value, std::ostream *out)
{
    *out << value.toString().toStdString();
}
