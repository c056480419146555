// A temporary directory for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir();
  // Inside base instead of the system's temporary directory.
  explicit ScopedTempDir(const std::string& base);
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
