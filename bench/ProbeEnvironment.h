#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <initializer_list>

namespace plimsy::bench {

// The environment of a probe process: this one's, with HOME and each named folder variable moved into
// `home`, so every run starts from nothing and leaves nothing behind.
inline QProcessEnvironment probeEnvironment(const QTemporaryDir &home, std::initializer_list<const char *> folders)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const char *name : folders) {
        const QString folder = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QString::fromLatin1(name), folder);
    }
    return environment;
}

} // namespace plimsy::bench
