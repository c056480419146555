// What the residency checks cost, made as the tool makes them: on an evicted FILE the whole file
// checked, read through, checked again; then /SKIPCACHED's check of every request on the now
// cached file. Both mechanisms where the kernel has them (mincore forced through the testing
// seam). Prints one JSON line with the milliseconds of every round:
//   {"bytes": N, "requests": N, "mechanisms": {"cachestat": {"checks_ms": [...],
//    "request_checks_ms": [...]}, "mincore": ... or null where the kernel lacks it}}
//
// Usage: residency_cost FILE ROUNDS   (root or the file's owner: the answers must be trusted)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/residency.h"
#include "platform/testing.h"
#include "platform/text_encoding.h"
#include "tool/read_through.h"

namespace {

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

bool Evict(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  fdatasync(fd);
  const bool done = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(fd);
  return done;
}

// Brings the file into the cache between the two checks, in the tool's request size; how long
// that takes is section 1's measurement, not this one's.
bool ReadThrough(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  std::unique_ptr<char[]> buffer(new char[kReadThroughBufferSize]);
  ssize_t n;
  while ((n = read(fd, buffer.get(), kReadThroughRequestSize)) > 0) {
  }
  close(fd);
  return n == 0;
}

// The checks of one run around its read-through: the whole file before and after.
double RunChecks(const std::string& file, const std::u16string& path) {
  FileResidency residency(path);
  double ms = Milliseconds([&] { residency.QueryAll(); });
  if (!ReadThrough(file)) throw std::runtime_error("cannot read " + file);
  ms += Milliseconds([&] { residency.QueryAll(); });
  return ms;
}

// /SKIPCACHED's checks on a cached file: one per request.
double RequestChecks(const std::u16string& path) {
  return Milliseconds([&] {
    FileResidency residency(path);
    for (uint64_t at = 0; at < residency.Size(); at += kReadThroughRequestSize)
      residency.Query(at, kReadThroughRequestSize);
  });
}

std::string JsonList(const std::vector<double>& values) {
  std::string text = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%s%.4f", i ? ", " : "", values[i]);
    text += number;
  }
  return text + "]";
}

// The rounds of one mechanism as JSON, or null where this kernel does not have it.
std::string Mechanism(const char* name, const std::string& file, const std::u16string& path,
                      int rounds) {
  ForceMincoreResidency(std::string(name) == "mincore");
  if (std::string(FileResidency(path).Mechanism()) != name) return "null";
  std::vector<double> checks, requests;
  for (int i = 0; i < rounds; ++i) {
    if (!Evict(file)) throw std::runtime_error("cannot evict " + file);
    checks.push_back(RunChecks(file, path));
    requests.push_back(RequestChecks(path));
  }
  return "{\"checks_ms\": " + JsonList(checks) + ", \"request_checks_ms\": " + JsonList(requests) +
         "}";
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc == 3 ? std::atoi(argv[2]) : 0;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: residency_cost FILE ROUNDS\n");
    return 2;
  }
  InitTextEncoding();
  const std::string file = argv[1];
  const std::u16string path = FromNarrow(file);
  if (FileResidency(path).State() != ResidencyState::Trusted) {
    std::fprintf(stderr, "residency_cost: the answers for %s are not trusted\n", file.c_str());
    return 1;
  }
  try {
    const uint64_t size = FileResidency(path).Size();
    const std::string cachestat = Mechanism("cachestat", file, path, rounds);
    const std::string mincore = Mechanism("mincore", file, path, rounds);
    ForceMincoreResidency(false);
    std::printf(
        "{\"bytes\": %llu, \"requests\": %llu, \"mechanisms\": {\"cachestat\": %s, "
        "\"mincore\": %s}}\n",
        static_cast<unsigned long long>(size),
        static_cast<unsigned long long>((size + kReadThroughRequestSize - 1) /
                                        kReadThroughRequestSize),
        cachestat.c_str(), mincore.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "residency_cost: %s\n", e.what());
    return 1;
  }
  return 0;
}
