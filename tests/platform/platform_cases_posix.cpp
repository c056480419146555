// The POSIX side of the shared process and dynamic-library tests.
#include <dlfcn.h>
#include <unistd.h>

#include "tests/platform/platform_cases.h"

bool IsFullPathOfThisTestProgram(const std::u16string& path) {
  return path.starts_with(u"/") && path.ends_with(u"/platform_tests");
}

KnownLibrary SystemLibrary() { return {"libc.so.6", "getpid", dlsym(RTLD_DEFAULT, "getpid")}; }

void DisturbSystemError() { dlerror(); }

void SleepMilliseconds(unsigned milliseconds) { usleep(milliseconds * 1000); }
