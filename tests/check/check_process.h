// Runs the built fbwarm-check for process-level tests: beside the built fbwarm with the
// stand-in client library, or copied beside a stand-in fbwarm script that a test writes.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_output.h"

std::string CheckBinary();
std::string FbwarmBinary();
std::string StandinDir();

// fbwarm-check copied into dir beside a script named fbwarm with the given body (bash); the
// helper runs the fbwarm beside its own path. Returns the copy's path.
std::string CheckBesideScript(const ScopedTempDir& dir, const std::string& script_body);

// The helper's lines on standard error ("fbwarm: fbwarm-check: ..."), each without its LF.
std::vector<std::string> HelperLines(const std::string& err);
