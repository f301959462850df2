#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace plimsy {

// A record that could not be read from JSON, with the path of the offending field ("user.email").
class DecodingError : public std::exception
{
public:
    DecodingError(QString path, QString problem)
        : m_path(std::move(path))
        , m_problem(std::move(problem))
        , m_what(userMessage().toUtf8())
    {
    }

    const QString &path() const { return m_path; }
    const QString &problem() const { return m_problem; }

    // "user.email: expected a string".
    QString userMessage() const { return m_path.isEmpty() ? m_problem : m_path + QStringLiteral(": ") + m_problem; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_path;
    QString m_problem;
    QByteArray m_what;
};

} // namespace plimsy
