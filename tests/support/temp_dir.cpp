#include "tests/support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

ScopedTempDir::ScopedTempDir() : ScopedTempDir(std::filesystem::temp_directory_path().string()) {}

ScopedTempDir::ScopedTempDir(const std::string& base) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::path(base) / ("fbwarm-test-" + std::to_string(random()));
    std::error_code error;
    if (!std::filesystem::create_directory(candidate, error)) continue;
    // Private to the test's user, as mkdtemp makes it.
    std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
    path_ = candidate.string();
    return;
  }
  throw std::runtime_error("cannot make a temporary directory");
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Tests may leave read-only directories behind; give them back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
