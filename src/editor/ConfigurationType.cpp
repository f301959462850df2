#include "editor/ConfigurationType.h"

#include <array>

namespace plimsy {

namespace {

const QString Save = QStringLiteral("Save");

ConfigurationTraits editable(MonacoLanguage language, QString saveTitle, bool fileMenu, bool configCache)
{
    return {true, language, true, false, std::move(saveTitle), fileMenu, configCache};
}

ConfigurationTraits readOnly(MonacoLanguage language, bool lineNumbers, bool scrollsToEnd)
{
    return {false, language, lineNumbers, scrollsToEnd, QString(), false, false};
}

} // namespace

const ConfigurationTraits &traitsOf(ConfigurationType type)
{
    // In the order of the enumeration.
    static const std::array<ConfigurationTraits, 8> s_traits{
        editable(MonacoLanguage::Dotenv, Save, false, true),
        editable(MonacoLanguage::Nginx, Save, false, false),
        editable(MonacoLanguage::Shell, QStringLiteral("Save to Forge"), true, false),
        readOnly(MonacoLanguage::DeploymentLog, false, true),
        readOnly(MonacoLanguage::Plaintext, true, false),
        readOnly(MonacoLanguage::Log, true, true),
        readOnly(MonacoLanguage::Log, true, true),
        readOnly(MonacoLanguage::Log, true, true),
    };
    return s_traits.at(static_cast<size_t>(type));
}

} // namespace plimsy
