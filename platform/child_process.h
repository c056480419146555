// Runs another program on this process's standard streams, with one pipe more from it to this
// process, whose descriptor number it finds in an environment variable. Only the POSIX programs
// use it (fbwarm-check); there is no Windows implementation.
#pragma once

#include <string>
#include <vector>

// How a child ended: its exit status, or the signal that ended it.
struct ChildEnd {
  bool by_signal = false;
  int code = 0;  // the exit status, or the signal's number
};

class ChildProcess {
 public:
  // Starts program with the arguments' bytes as they are (argument 0 becomes the program's
  // path) and this process's environment, in which pipe_variable names the pipe's write end.
  // Raises EOSError when the program cannot be started.
  ChildProcess(const std::u16string& program, const std::vector<std::string>& arguments,
               const std::u16string& pipe_variable);
  // Waits for the child when Wait() was not called.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next bytes the child wrote to the pipe; empty once it closed its end (at the latest
  // when it ended). Raises EOSError when reading fails.
  std::string ReadPipe();
  // Waits for the end of the child.
  ChildEnd Wait();

 private:
  int pid_ = -1;
  int pipe_ = -1;
};
