#include "tests/tool/fbwarm_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

std::string FbwarmBinary() { return FBWARM_BINARY; }

std::string TestHooksBinary() { return FBWARM_TEST_HOOKS_BINARY; }

std::string DenySyscallBinary() { return FBWARM_DENY_SYSCALL_BINARY; }

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

namespace {

// Empty when every directory from the root down to dir may be searched by anyone.
std::string UnreachableParent(const std::filesystem::path& dir) {
  for (std::filesystem::path p = dir; !p.empty(); p = p.parent_path()) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return p.string();
    if (p == p.root_path()) break;
  }
  return "";
}

}  // namespace

OtherUserCopy CopyForOtherUser(const std::string& dir) {
  namespace fs = std::filesystem;
  OtherUserCopy copy;
  if (geteuid() != 0) {
    copy.skip_reason = "running the tool as another user needs root";
    return copy;
  }
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  if (std::string parent = UnreachableParent(dir); !parent.empty()) {
    copy.skip_reason = "other users cannot enter " + parent;
    return copy;
  }
  fs::create_directory(dir + "/bin");
  fs::create_directory(dir + "/lib");
  copy.binary = dir + "/bin/fbwarm";
  fs::copy_file(FbwarmBinary(), copy.binary);
  fs::permissions(copy.binary, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  copy.broken_client_dir = dir + "/lib";
  std::ofstream(copy.broken_client_dir + "/libfbclient.so.2", std::ios::trunc);
  for (const char* sub : {"/bin", "/lib"})
    fs::permissions(dir + sub, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  return copy;
}
