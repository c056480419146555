// The operator's words about the run as a whole: what the parameter list found when the run
// began, why a failed run failed where its FEHLER line alone does not say, and lost result
// records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/param_file.h"
#include "tool/run_request.h"

// In this order: the parameter file holds a password that others may read; it is there but
// could not be read; a /TEMP: value could not be applied.
std::vector<std::string> ParameterSourcesLines(const ParameterSources& sources);

// The run ends with "Parameter <name> fehler": said only when file was read but has no
// [STARTPARAMS] section (an unreadable file was named when the run began).
std::optional<std::string> ParameterMissingLine(const std::u16string& name,
                                                const ParameterFile& file);

// The client library could not be loaded: the file handed to the loader, the loader's reason,
// and the package that installs it (may be empty).
std::string ClientLibraryMissingLine(const std::string& library, const std::u16string& reason,
                                     const std::string& package);

// The run ends with "Fehler aufgetreten" only because it took less than the minimum.
std::string RunTooShortLine(uint32_t elapsed_ms, uint32_t minimum_ms);

// The result records asked for by FBWARM_RESULT_FD=value could not be written.
std::string ResultRecordsLostLine(const std::u16string& value, const std::u16string& reason);
