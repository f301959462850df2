#include "editor/ScriptFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace plimsy {

std::variant<ScriptFileContents, QString> readScriptFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return file.errorString();
    }
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    if (utf8.hasError()) {
        return QStringLiteral("The file is not UTF-8 text.");
    }
    return ScriptFileContents{std::move(text), scriptFileModified(path)};
}

std::optional<QDateTime> scriptFileModified(const QString &path)
{
    const QFileInfo info(path);
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    return modified.isValid() ? std::optional<QDateTime>(modified) : std::nullopt;
}

std::optional<QString> writeScriptFile(const QString &path, const QString &text)
{
    // QSaveFile writes beside the file and renames over it, taking the old file's permissions along, so
    // an executable script stays executable and a failed write leaves the old one whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

} // namespace plimsy
