#include "tests/tool/fbwarm_process.h"

#include <filesystem>
#include <fstream>

std::string FbwarmBinary() { return FBWARM_BINARY; }

std::string StandinDir(const std::string& variant) {
  return std::string(STANDIN_ROOT) + "/" + variant;
}

std::string BrokenClientDir() {
  static const std::string dir = [] {
    std::string path = std::string(TEST_OUTPUT_ROOT) + "/broken-client";
    std::filesystem::create_directories(path);
    std::ofstream(path + "/libfbclient.so.2", std::ios::trunc);
    return path;
  }();
  return dir;
}

std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}
