// What the residency checks cost beside the read-through they report on: runs as the tool makes
// them on an evicted FILE (the whole file checked before, read through, checked after), and the
// per-request checks of /SKIPCACHED on the then cached file, by cachestat and by mincore. Prints
// a Markdown table of medians.
//
// Usage: residency_cost FILE [ROUNDS]   (root or the file's owner: the answers must be trusted)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/residency.h"
#include "platform/testing.h"
#include "platform/text_encoding.h"
#include "tool/read_through.h"

namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Evict(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

// The checks of one run around its read-through: the whole file before and after.
struct RunCost {
  double before = 0, after = 0, read = 0;
};

RunCost TimedRun(const std::u16string& path) {
  RunCost cost;
  std::unique_ptr<FileResidency> residency;
  cost.before = Seconds([&] {
    residency = std::make_unique<FileResidency>(path);
    residency->QueryAll();
  });
  cost.read = Seconds([&] { ReadThroughFile(path); });
  cost.after = Seconds([&] { residency->QueryAll(); });
  return cost;
}

// /SKIPCACHED's checks on a cached file: one per request.
double RequestChecks(const std::u16string& path) {
  return Seconds([&] {
    FileResidency residency(path);
    for (uint64_t at = 0; at < residency.Size(); at += kReadThroughRequestSize)
      residency.Query(at, kReadThroughRequestSize);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: residency_cost FILE [ROUNDS]\n");
    return 2;
  }
  InitTextEncoding();
  const std::string file = argv[1];
  const std::u16string path = FromNarrow(file);
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (FileResidency(path).State() != ResidencyState::Trusted) {
    std::fprintf(stderr, "residency_cost: the answers for %s are not trusted\n", file.c_str());
    return 1;
  }

  std::printf("File: %s, %.2f GB, %d rounds, medians\n\n", file.c_str(),
              FileResidency(path).Size() / 1e9, rounds);
  std::printf(
      "| mechanism | cold read-through | checks before + after | share | "
      "/SKIPCACHED checks, cached file |\n|---|---|---|---|---|\n");
  for (const char* mechanism : {"cachestat", "mincore"}) {
    ForceMincoreResidency(std::string(mechanism) == "mincore");
    if (std::string(FileResidency(path).Mechanism()) != mechanism) {
      std::printf("| %s | not on this kernel | | | |\n", mechanism);
      continue;
    }
    std::vector<double> reads, checks, shares, requests;
    for (int i = 0; i < rounds; ++i) {
      Evict(file);
      const RunCost cost = TimedRun(path);
      reads.push_back(cost.read);
      checks.push_back(cost.before + cost.after);
      shares.push_back((cost.before + cost.after) / cost.read * 100);
      requests.push_back(RequestChecks(path));
    }
    std::printf("| %s | %.3f s | %.1f ms | %.2f %% | %.1f ms |\n", mechanism, Median(reads),
                Median(checks) * 1e3, Median(shares), Median(requests) * 1e3);
  }
  ForceMincoreResidency(false);
  return 0;
}
