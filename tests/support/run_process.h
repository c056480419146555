// Runs a program as a child process with given arguments, environment additions and standard
// input, and collects its standard output and error bytes and its exit status.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProcessResult {
  std::string out;
  std::string err;
  int exit_code = -1;  // valid when the child exited
  int signal = 0;      // the signal that ended the child, or 0
  bool timed_out = false;
};

struct ProcessOptions {
  std::vector<std::string> args;                          // without argv[0]
  std::map<std::string, std::optional<std::string>> env;  // set, or unset with nullopt
  std::optional<std::string> stdin_bytes;                 // nullopt: standard input is /dev/null
  std::string stdout_path;           // non-empty: standard output goes to this file
  bool stdout_closed_pipe = false;   // standard output is a pipe nobody reads any more
  std::string working_dir;           // non-empty: the child's current directory
  int timeout_seconds = 120;         // the child is killed after this
  std::vector<std::string> wrapper;  // run as wrapper... program args (valgrind etc.)
  std::string shell_prefix;          // non-empty: run through sh -c "prefix exec ..."
};

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options = {});
