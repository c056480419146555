// The page-role map of a database file on this machine, made by reading the file once more:
// right after the read-through the file cache holds it, so this costs memory bandwidth, not disk
// reads. What the server-cache step orders its pages by when the run has no map of its own.
#pragma once

#include <optional>
#include <string>

#include "pages/page_map.h"

// The map of the database file at path; nothing when it cannot be read whole or its header is
// not one of a database whose pages can be classified.
std::optional<PageMap> MapOfLocalFile(const std::u16string& path);
