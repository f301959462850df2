#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace plimsy::bench {

// The folder of a scratch runtime folder: in memory, as a desktop session's is, so that the instance lock's
// flush is not timed as a disk's.
inline QString memoryFolder()
{
    const QString shared = QStringLiteral("/dev/shm");
    return QFileInfo(shared).isWritable() ? shared : QDir::tempPath();
}

// A scratch profile for the programs a benchmark starts: home, XDG folders and a private runtime folder.
struct ScratchProfile
{
    QTemporaryDir home;
    QTemporaryDir runtime{memoryFolder() + QStringLiteral("/plimsy-bench-XXXXXX")};

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString folder = QDir(home.path()).filePath(QString::fromLatin1(name));
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            environment.insert(QString::fromLatin1(name), folder);
        }
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.remove(QStringLiteral("PLIMSY_TEST_HARNESS"));
        return environment;
    }
};

inline QString besideThisProgram(const char *name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values.at(values.size() / 2);
}

} // namespace plimsy::bench
