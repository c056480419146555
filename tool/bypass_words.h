// The operator's words about whether the server bypasses the file cache for the database:
// every input of the engine's rule with its source, and what the server's own descriptor of
// the file shows.
#pragma once

#include <optional>
#include <string>

#include "tool/cache_bypass.h"

// One line for a verdict that bypasses, cannot be determined, or could not be asked; nothing
// when the server uses the cache or nothing was asked.
std::optional<std::string> BypassLine(const BypassVerdict& verdict);
