// Files and directories: what a path names, reading a whole small file, reading a large one
// through in pieces, and creating a directory. Paths are UTF-16 and converted here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The separator between the directory names of a path: '/' on POSIX, '\' on Windows.
char16_t PathSeparator();
// Every character after which a path's last component starts: the separator, and on Windows
// also the ':' that closes a drive name.
std::u16string_view PathComponentEnds();

// What a path names, links followed. Inaccessible: it may exist, but its attributes cannot be
// read for another reason than a missing file, a missing directory or an invalid name.
enum class PathKind { Missing, File, Directory, Inaccessible };

PathKind QueryPath(const std::u16string& path);

// The driver's local file test: an existing file (links followed) that is not a directory.
bool IsLocalFile(const std::u16string& path);

// True when users other than the file's owner may read it (group or world permission).
bool IsReadableByOthers(const std::u16string& path);

// Reads the whole file into bytes; false when it cannot be opened or read, or when the path
// names no regular file (a FIFO or a device has no whole to read).
bool ReadWholeFile(const std::u16string& path, std::string& bytes);

// Creates one directory; false when that fails.
bool MakeDirectory(const std::u16string& path);

// A file opened for sequential reading, shared with readers and writers, never created.
// Something that has no end to read to (a FIFO, a character device) is not opened.
// The handle is closed by the destructor.
class SequentialFile {
 public:
  explicit SequentialFile(const std::u16string& path);
  ~SequentialFile();
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  bool IsOpen() const;
  // Reads up to size bytes into buffer: the count read, 0 at the end, -1 on failure
  // (also when the file is not open).
  int64_t Read(void* buffer, size_t size);

 private:
  intptr_t handle_;
};
