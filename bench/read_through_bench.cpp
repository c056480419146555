// Runs the tool's read-through on one file and prints how long it took, in seconds, so that the
// benchmark can set it beside cat, dd and vmtouch without the statistics run in the way.
#include <chrono>
#include <cstdio>
#include <exception>

#include "platform/text_encoding.h"
#include "tool/read_through.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read_through_bench FILE\n");
    return 2;
  }
  InitTextEncoding();
  try {
    const auto start = std::chrono::steady_clock::now();
    ReadThroughFile(FromNarrow(argv[1]));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "read_through_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
