// What the shared process, dynamic-library and tick-counter tests need of one platform.
#pragma once

#include <string>

// Whether path is a full path of this system (from the root, or from a drive letter) that
// names this test program.
bool IsFullPathOfThisTestProgram(const std::u16string& path);

// A library every process of the platform can load, one of its exported names, and the
// address the system's own look-up gives for that name.
struct KnownLibrary {
  std::string file_name;
  const char* name;
  void* address;
};
KnownLibrary SystemLibrary();

// Overwrites the system's own record of the last failure, as any later system call may.
void DisturbSystemError();

// Waits about that long without the code under test.
void SleepMilliseconds(unsigned milliseconds);
