#pragma once

#include <QString>

namespace plimsy {

// The editor page's language identifiers.
enum class MonacoLanguage
{
    Plaintext,
    Dotenv,
    Nginx,
    Shell,
    Log,
    DeploymentLog,
    Json,
    Php,
    Javascript,
};

// The editor page's theme identifiers.
enum class MonacoTheme
{
    Vs,
    VsDark,
    HcBlack,
    AtomOneDark,
    AtomOneLight,
    LogDark,
    LogLight,
    DeploymentLogDark,
    DeploymentLogLight,
};

QString rawValue(MonacoLanguage language);
QString rawValue(MonacoTheme theme);

// The theme a language is shown in: logs have their own pair, everything else the editor's own.
MonacoTheme themeFor(MonacoLanguage language, bool dark);

} // namespace plimsy
