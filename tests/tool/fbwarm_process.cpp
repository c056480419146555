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
