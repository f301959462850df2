#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

namespace plimsy {

// The last known result of a site's check.
struct MonitoringStatus
{
    enum class Kind
    {
        Down,
        Unchecked,
        Up,
    };

    Kind kind = Kind::Unchecked;
    // Only for Down: the failure's description, when there is one.
    std::optional<QString> error;

    static MonitoringStatus down(std::optional<QString> error = std::nullopt) { return {Kind::Down, std::move(error)}; }
    static MonitoringStatus unchecked() { return {}; }
    static MonitoringStatus up() { return {Kind::Up, std::nullopt}; }

    bool isDown() const { return kind == Kind::Down; }
    bool isUp() const { return kind == Kind::Up; }
    bool isUnchecked() const { return kind == Kind::Unchecked; }

    bool operator==(const MonitoringStatus &) const = default;
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::MonitoringStatus)
