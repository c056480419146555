#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/exceptions.h"
#include "platform/child_process.h"
#include "platform/fd_posix.h"
#include "platform/native_path_posix.h"
#include "platform/text_encoding.h"

extern char** environ;

namespace {

[[noreturn]] void RaiseErrno(int error) { throw EOSError(error, FromNarrow(strerror(error))); }

// This process's environment without any entry for name, and name=value at its end.
std::vector<std::string> EnvironmentWith(const std::string& name, const std::string& value) {
  std::vector<std::string> entries;
  const std::string prefix = name + "=";
  for (char** entry = environ; entry && *entry; ++entry)
    if (strncmp(*entry, prefix.c_str(), prefix.size()) != 0) entries.emplace_back(*entry);
  entries.push_back(prefix + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::u16string& program, const std::vector<std::string>& arguments,
                           const std::u16string& pipe_variable) {
  std::string path;
  if (!NativePath(program, path)) RaiseErrno(ENOENT);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) RaiseErrno(errno);
  UniqueFd read_end(ends[0]), write_end(ends[1]);
  // Only the write end reaches the child, through a copy without close-on-exec.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, write_end.Get(), write_end.Get());

  std::vector<std::string> argv_texts{path};
  argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env_texts =
      EnvironmentWith(ToNarrow(pipe_variable), std::to_string(write_end.Get()));
  std::vector<char*> argv = Pointers(argv_texts), envp = Pointers(env_texts);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) RaiseErrno(error);
  pid_ = pid;
  pipe_ = read_end.Release();
  // write_end closes here: the pipe ends when the child's copy does.
}

ChildProcess::~ChildProcess() {
  UniqueFd closing(pipe_);
  if (pid_ > 0) Wait();
}

std::string ChildProcess::ReadPipe() {
  char buffer[4096];
  const ssize_t n = RetryOnEintr([&] { return read(pipe_, buffer, sizeof buffer); });
  if (n < 0) RaiseErrno(errno);
  return std::string(buffer, static_cast<size_t>(n));
}

ChildEnd ChildProcess::Wait() {
  int status = 0;
  const pid_t pid = pid_;
  pid_ = -1;
  if (RetryOnEintr([&] { return waitpid(pid, &status, 0); }) < 0) RaiseErrno(errno);
  if (WIFSIGNALED(status)) return ChildEnd{true, WTERMSIG(status)};
  return ChildEnd{false, WEXITSTATUS(status)};
}
