#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/run_process.h"

namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> CommandLine(const std::string& program, const ProcessOptions& o) {
  std::vector<std::string> argv = o.wrapper;
  argv.push_back(program);
  argv.insert(argv.end(), o.args.begin(), o.args.end());
  if (o.shell_prefix.empty()) return argv;
  std::string script = o.shell_prefix + " exec";
  for (const auto& a : argv) script += " " + ShellQuote(a);
  return {"/bin/sh", "-c", script};
}

[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const ProcessOptions& o,
                            int in_fd, int out_fd, int err_fd) {
  dup2(in_fd, 0);
  dup2(out_fd, 1);
  dup2(err_fd, 2);
  signal(SIGPIPE, SIG_DFL);
  if (!o.working_dir.empty() && chdir(o.working_dir.c_str()) != 0) _exit(126);
  for (const auto& [name, value] : o.env) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  std::vector<char*> raw;
  for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
  raw.push_back(nullptr);
  execvp(raw[0], raw.data());
  _exit(127);
}

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options) {
  int out_pipe[2], err_pipe[2], in_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC) || pipe2(in_pipe, O_CLOEXEC))
    throw std::runtime_error("pipe failed");
  int in_fd = options.stdin_bytes ? in_pipe[0] : open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out_flags =
      options.stdout_read_only ? O_RDONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  int out_fd = options.stdout_path.empty() ? out_pipe[1]
                                           : open(options.stdout_path.c_str(), out_flags, 0644);
  int dead_pipe[2] = {-1, -1};
  if (options.stdout_closed_pipe) {
    if (pipe2(dead_pipe, O_CLOEXEC)) throw std::runtime_error("pipe failed");
    close(dead_pipe[0]);  // the reader is gone before the child writes anything
    out_fd = dead_pipe[1];
  }
  const auto argv = CommandLine(program, options);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) ExecChild(argv, options, in_fd, out_fd, err_pipe[1]);

  close(out_pipe[1]);
  close(err_pipe[1]);
  close(in_pipe[0]);
  if (!options.stdin_bytes) close(in_fd);
  if (!options.stdout_path.empty() || options.stdout_closed_pipe) close(out_fd);
  if (options.stdin_bytes) {
    signal(SIGPIPE, SIG_IGN);
    const std::string& data = *options.stdin_bytes;
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = write(in_pipe[1], data.data() + done, data.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  close(in_pipe[1]);

  ProcessResult result;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  const double deadline = Now() + options.timeout_seconds;
  int open_fds = 2;
  while (open_fds > 0) {
    int remaining_ms = static_cast<int>((deadline - Now()) * 1000);
    if (remaining_ms <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, remaining_ms) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  for (auto& fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}
