// Reads a file once from start to end and throws the data away, so that the operating
// system's file cache holds its pages before the database server asks for them.
#pragma once

#include <cstddef>
#include <string>

// Size of the one buffer the read-through uses, and of each read (one byte less).
inline constexpr size_t kReadThroughBufferSize = 64u * 1024 * 1024;
inline constexpr size_t kReadThroughRequestSize = kReadThroughBufferSize - 1;

// Reads path through. A file that cannot be opened, or a read that fails part-way, ends the
// read-through silently. Raises EOutOfMemory when the buffer cannot be obtained.
void ReadThroughFile(const std::u16string& path);
