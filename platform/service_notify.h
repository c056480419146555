// Tells the service manager that started this process (systemd) what the process is doing, for
// `systemctl status`. Only the POSIX programs use it (fbwarm-check).
#pragma once

#include <string_view>

// Sends text as the service's status line; line breaks become blanks. Does nothing when no
// service manager listens, and ignores every failure: the status is a courtesy.
void NotifyServiceStatus(std::string_view text);
