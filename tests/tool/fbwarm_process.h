// Runs the built fbwarm binary for process-level tests, with the client library chosen by the
// test: the stand-in (recording calls, scripted answers), a broken file that cannot load, or
// the real one.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/tool_output.h"

// Where the build put the binary and the stand-in client library variants.
std::string FbwarmBinary();
std::string StandinDir(const std::string& variant = "full");

// A directory whose libfbclient.so.2 is an empty file: loading it fails as a missing library.
std::string BrokenClientDir();
