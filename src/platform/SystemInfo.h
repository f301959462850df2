#pragma once

#include <QString>

namespace plimsy::SystemInfo {

// The name the user gave this computer: the pretty host name of systemd-hostnamed, else the host name.
// "localhost" when neither is known. Asks hostnamed with a short time-out, so it may take a moment.
QString computerName();

// The user's login name; empty when the account database does not know this process's user.
QString loginName();

// The operating system's name and version as /etc/os-release gives it ("Debian GNU/Linux 12 (bookworm)").
QString osVersion(const QString &osReleaseFile = QStringLiteral("/etc/os-release"));

// Whether the session's desktop is GNOME (XDG_CURRENT_DESKTOP names it, as Ubuntu's "ubuntu:GNOME" does).
bool isGnomeDesktop();

} // namespace plimsy::SystemInfo
