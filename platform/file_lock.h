// An exclusive lock on a file for as long as the object lives, so that runs in other processes
// wait for each other. Only the POSIX programs use it (fbwarm-check).
#pragma once

#include <functional>
#include <string>

class ExclusiveFileLock {
 public:
  // Opens path (made with mode 0600 when missing) and takes the lock. When another process
  // holds it, calls waiting() once and blocks until it is free. Raises EOSError when the file
  // cannot be opened or locked.
  ExclusiveFileLock(const std::u16string& path, const std::function<void()>& waiting);
  ~ExclusiveFileLock();
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

 private:
  int fd_ = -1;
};
