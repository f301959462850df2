#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace kestrix {

// A one-line diagnosis of a crash report, used as the error message when there is one.
class KX_CrashDoctor
{
public:
    static std::optional<QString> diagnoseCrash(const QJsonObject &report);
};

} // namespace kestrix
