#include "tests/check/check_process.h"

#include <sys/stat.h>

#include <filesystem>

std::string CheckBinary() { return FBWARM_CHECK_BINARY; }
std::string FbwarmBinary() { return FBWARM_BINARY; }
std::string StandinDir() { return STANDIN_DIR; }

std::string CheckBesideScript(const ScopedTempDir& dir, const std::string& script_body) {
  const std::string copy = dir / "fbwarm-check";
  std::filesystem::copy_file(CheckBinary(), copy);
  WriteFileBytes(dir / "fbwarm", "#!/bin/bash\n" + script_body);
  chmod((dir / "fbwarm").c_str(), 0755);
  chmod(copy.c_str(), 0755);
  return copy;
}

std::vector<std::string> HelperLines(const std::string& err) {
  std::vector<std::string> lines;
  for (const std::string& line : SplitAt(err, "\n"))
    if (line.rfind("fbwarm: fbwarm-check: ", 0) == 0) lines.push_back(line);
  return lines;
}
