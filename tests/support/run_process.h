// Runs a program as a child process with given arguments, environment changes and standard
// input, and collects its standard output and error bytes and its exit status. One interface
// for both platforms: run_process_posix.cpp forks and execs, run_process_win32.cpp starts the
// program with CreateProcessW and an exact command line. Text is UTF-8.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProcessResult {
  std::string out;
  std::string err;
  int exit_code = -1;  // valid when the child exited
  int signal = 0;      // POSIX: the signal that ended the child, or 0
  bool timed_out = false;
};

struct ProcessOptions {
  std::vector<std::string> args;  // without argument 0
  // Windows: the exact command line, argument 0 included, instead of the program's quoted path
  // and args joined by blanks.
  std::string command_line;
  std::map<std::string, std::optional<std::string>> env;  // set, or unset with nullopt
  std::optional<std::string> stdin_bytes;  // nullopt: standard input is the null device
  std::string stdout_path;                 // non-empty: standard output goes to this file
  bool stdout_read_only = false;     // stdout_path is opened for reading only: every write fails
  bool stdout_closed_pipe = false;   // POSIX: standard output is a pipe nobody reads any more
  std::string working_dir;           // non-empty: the child's current directory
  int timeout_seconds = 120;         // the child is killed after this
  std::vector<std::string> wrapper;  // POSIX: run as wrapper... program args (valgrind etc.)
  std::string shell_prefix;          // POSIX: non-empty: run through sh -c "prefix exec ..."
  // Windows: called with the child's process handle once it runs, before its input is written.
  std::function<void(void* process)> while_running;
};

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options = {});
