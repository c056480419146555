// Where this program keeps state from one run to the next for the user it runs as: the
// directory the service manager gave it, or the user's own state directory.
#pragma once

#include <optional>
#include <string>

// The directory (which may not exist yet), or nothing when the environment names none.
// POSIX: the first entry of $STATE_DIRECTORY (set by systemd for StateDirectory=), else
// $XDG_STATE_HOME/fbwarm, else $HOME/.local/state/fbwarm. Windows: %LOCALAPPDATA%\fbwarm.
std::optional<std::u16string> StateDirectory();
