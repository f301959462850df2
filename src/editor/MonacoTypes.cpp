#include "editor/MonacoTypes.h"

#include <array>
#include <utility>

namespace plimsy {

namespace {

constexpr std::array Languages{
    std::pair{MonacoLanguage::Plaintext, "plaintext"},
    std::pair{MonacoLanguage::Dotenv, "dotenv"},
    std::pair{MonacoLanguage::Nginx, "nginx"},
    std::pair{MonacoLanguage::Shell, "shell"},
    std::pair{MonacoLanguage::Log, "log"},
    std::pair{MonacoLanguage::DeploymentLog, "deploymentLog"},
    std::pair{MonacoLanguage::Json, "json"},
    std::pair{MonacoLanguage::Php, "php"},
    std::pair{MonacoLanguage::Javascript, "javascript"},
};

constexpr std::array Themes{
    std::pair{MonacoTheme::Vs, "vs"},
    std::pair{MonacoTheme::VsDark, "vs-dark"},
    std::pair{MonacoTheme::HcBlack, "hc-black"},
    std::pair{MonacoTheme::AtomOneDark, "atom-one-dark"},
    std::pair{MonacoTheme::AtomOneLight, "atom-one-light"},
    std::pair{MonacoTheme::LogDark, "log-dark"},
    std::pair{MonacoTheme::LogLight, "log-light"},
    std::pair{MonacoTheme::DeploymentLogDark, "deploymentLog-dark"},
    std::pair{MonacoTheme::DeploymentLogLight, "deploymentLog-light"},
};

template <typename Enum, size_t N> QString rawOf(const std::array<std::pair<Enum, const char *>, N> &table, Enum value)
{
    for (const auto &[entry, raw] : table) {
        if (entry == value) {
            return QString::fromLatin1(raw);
        }
    }
    return {};
}

} // namespace

QString rawValue(MonacoLanguage language)
{
    return rawOf(Languages, language);
}

QString rawValue(MonacoTheme theme)
{
    return rawOf(Themes, theme);
}

MonacoTheme themeFor(MonacoLanguage language, bool dark)
{
    switch (language) {
    case MonacoLanguage::Log:
        return dark ? MonacoTheme::LogDark : MonacoTheme::LogLight;
    case MonacoLanguage::DeploymentLog:
        return dark ? MonacoTheme::DeploymentLogDark : MonacoTheme::DeploymentLogLight;
    default:
        return dark ? MonacoTheme::VsDark : MonacoTheme::Vs;
    }
}

} // namespace plimsy
