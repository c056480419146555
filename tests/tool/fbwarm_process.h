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
// The program with the test seam: FBWARM_TEST_RESIDENCY=mincore, FBWARM_TEST_MEMORY_LIMIT=<bytes>.
std::string TestHooksBinary();
// fbwarm-deny-syscall NUMBER ERRNO PROGRAM ARGS...: runs PROGRAM with one system call failing.
std::string DenySyscallBinary();
std::string StandinDir(const std::string& variant = "full");

// A directory whose libfbclient.so.2 is an empty file: loading it fails as a missing library.
std::string BrokenClientDir();

// Standard error's line (a regular expression) for the client library in BrokenClientDir().
inline const std::string kBrokenClientLine =
    "fbwarm: Die Firebird-Clientbibliothek libfbclient\\.so\\.2 kann nicht geladen werden: "
    ".*/libfbclient\\.so\\.2: file too short\\. Sie gehoert zum Debian-Paket libfbclient2 "
    "\\(apt-get install libfbclient2\\)\\.";

// What a run as another user needs, copied where that user can reach it: the checkout and the
// build tree may lie in a directory only their owner may enter (root's home is 0700), and then
// neither the binary nor LD_LIBRARY_PATH would work for anyone else.
struct OtherUserCopy {
  std::string skip_reason;        // non-empty: this host cannot run the tool as another user
  std::string binary;             // the tool, mode 0755
  std::string broken_client_dir;  // a libfbclient.so.2 that cannot load, as BrokenClientDir()
};

// Copies into dir, which it makes reachable by every user (0755, and checks its parents).
OtherUserCopy CopyForOtherUser(const std::string& dir);
