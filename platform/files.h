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

// Why the attributes of path cannot be read, in the system's own words (such as a loop of
// symbolic links); empty when they can.
std::u16string PathAccessFailure(const std::u16string& path);

// The driver's local file test: an existing file (links followed) that is not a directory.
bool IsLocalFile(const std::u16string& path);

// True for a path that names the same file from any current directory: "/..." here, a drive
// letter with a separator ("C:\...") or a network share ("\\host\...") on Windows.
bool IsAbsolutePath(const std::u16string& path);

// True when both paths lead to one existing file (links followed).
bool IsSameFile(const std::u16string& a, const std::u16string& b);

// True when users other than the file's owner may read it (group or world permission).
bool IsReadableByOthers(const std::u16string& path);

// Reads the whole file into bytes; false when it cannot be opened or read, or when the path
// names no regular file (a FIFO or a device has no whole to read). On failure, a non-null
// failure receives the system's reason, or the empty text for something that is no file.
bool ReadWholeFile(const std::u16string& path, std::string& bytes,
                   std::u16string* failure = nullptr);

// Who may read a file: its owner's name and, where the system has them, its permission bits.
struct FileOwnership {
  std::u16string owner;  // empty when it cannot be told
  int mode = -1;         // the permission bits (such as 0660), -1 where there are none
};
FileOwnership DescribeOwnership(const std::u16string& path);

// The first directory on the way to path that this user may not search (look into), or the
// empty text when every one may be searched or the system has no such rule.
std::u16string FirstUnsearchableDirectory(const std::u16string& path);

// Creates one directory; false when that fails.
bool MakeDirectory(const std::u16string& path);

// A file opened for sequential reading, shared with readers and writers, never created.
// Something that has no end to read to (a FIFO, a character device) is not opened.
// The handle is closed by the destructor.
class FileResidency;
class SequentialFile {
 public:
  explicit SequentialFile(const std::u16string& path);
  ~SequentialFile();
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  bool IsOpen() const;
  // The size of the open file in bytes (0 when not open).
  uint64_t Size() const;
  // Reads up to size bytes into buffer: the count read, 0 at the end, -1 on failure
  // (also when the file is not open).
  int64_t Read(void* buffer, size_t size);
  // Moves on by size bytes without reading them; false on failure.
  bool Skip(uint64_t size);
  // The system's reason for the last failure to open or read, in its own words; empty when
  // the path names something without an end, which is not opened on purpose.
  const std::u16string& FailureReason() const { return failure_; }

 private:
  friend class FileResidency;  // asks about the open file instead of opening it again

  intptr_t handle_;
  std::u16string path_;
  std::u16string failure_;
};
