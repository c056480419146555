// What state kept from one run to the next needs of the file system: which file a path names
// at the moment (so that state about another file, or an older one, is told apart), and
// replacing a small file's content in one step, so that a reader finds the old content or the
// new one, never a mix, even when the writer is killed halfway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A file as the system tells it apart from every other: the device (volume) it lives on, its
// number there (inode, file index), and its size in bytes at the moment.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t index = 0;
  uint64_t size = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file path leads to (links followed); none when it cannot be read.
std::optional<FileIdentity> IdentifyFile(const std::u16string& path);

// Writes bytes to a new file beside path (path + ".new"), forces it to the disk and then puts
// it in path's place in one step. False on failure, with the system's reason in *failure; the
// file at path is then unchanged.
bool ReplaceFileContent(const std::u16string& path, std::string_view bytes,
                        std::u16string* failure = nullptr);
