// Shared by the stand-in client library's source files.
#pragma once

#include <string>

// Appends "<name>" or "<name> <details>" as one line to the file named by FBWARM_STANDIN_LOG.
void StandinLog(const char* name, const std::string& details);
