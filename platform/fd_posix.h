// What the POSIX implementation files share about file descriptors: one owner type and one
// retry of a call that a signal interrupted. Included by *_posix.cpp files only.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <utility>

// Calls call() again for as long as it fails with EINTR, and returns its last result.
template <class Call>
auto RetryOnEintr(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// Owns one file descriptor and closes it when it goes; -1 owns nothing. Moves, never copies.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int Release() { return std::exchange(fd_, -1); }
  // Closes what it owns and takes fd instead.
  void Reset(int fd = -1) {
    // close() is not retried: on Linux the descriptor is gone even when it reports EINTR.
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};
