// The seam of fbwarm-test-hooks, the program built from tool/main.cpp with this file for tests
// and benchmarks; never installed. Before main runs, it turns two environment variables into
// the platform layer's testing choices:
//   FBWARM_TEST_RESIDENCY=mincore      residency is asked by mincore even where cachestat exists
//   FBWARM_TEST_MEMORY_LIMIT=<bytes>   one more limit on the room the file cache has
// A value it does not understand ends the program with status 2 before anything else runs, so
// a mistyped test setting cannot pass as a real figure.
#include <errno.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/testing.h"

namespace {

[[noreturn]] void Refuse(const char* name, const char* value) {
  const std::string text = std::string("fbwarm-test-hooks: ") + name + "=" + value +
                           " is not understood (mincore; a decimal number of bytes)\n";
  (void)!write(STDERR_FILENO, text.data(), text.size());
  _exit(2);
}

struct ApplyTestChoices {
  ApplyTestChoices() {
    if (const char* residency = std::getenv("FBWARM_TEST_RESIDENCY")) {
      if (std::strcmp(residency, "mincore") != 0) Refuse("FBWARM_TEST_RESIDENCY", residency);
      ForceMincoreResidency(true);
    }
    if (const char* limit = std::getenv("FBWARM_TEST_MEMORY_LIMIT")) {
      char* end = nullptr;
      errno = 0;
      const unsigned long long bytes = std::strtoull(limit, &end, 10);
      if (*limit < '0' || *limit > '9' || *end != '\0' || errno != 0)
        Refuse("FBWARM_TEST_MEMORY_LIMIT", limit);
      ImposeCacheRoomLimit(bytes);
    }
  }
} g_apply_test_choices;

}  // namespace
