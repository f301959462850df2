#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <unistd.h>

#include <cstdio>

// Captures what the crash reporter logs (standard error) while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        dup2(m_file.handle(), STDERR_FILENO);
    }

    ~LogCapture() { restore(); }

    // The lines logged so far.
    QStringList lines()
    {
        std::fflush(stderr);
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QStringList linesContaining(const QString &text) { return lines().filter(text); }

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

private:
    void restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};
