// Cuts what a read-through reads into whole pages: chunks of any size at any offset, pages
// split across a chunk's end joined with the next chunk when that one goes on where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Receives each whole page once.
class PageSink {
 public:
  virtual ~PageSink() = default;
  virtual void Page(uint32_t number, const uint8_t* bytes) = 0;
};

class PageStream {
 public:
  PageStream(uint32_t page_size, PageSink& sink);
  PageStream(const PageStream&) = delete;
  PageStream& operator=(const PageStream&) = delete;

  // Hands over size bytes that were read at offset. A page that starts in an earlier chunk is
  // completed when this chunk starts where that one ended, and dropped otherwise; a chunk that
  // starts inside a page it cannot complete is used from its next page on.
  void Feed(uint64_t offset, const uint8_t* bytes, size_t size);

 private:
  uint32_t page_size_;
  PageSink& sink_;
  std::vector<uint8_t> partial_;  // the start of a page cut by the last chunk's end
  uint64_t partial_offset_ = 0;   // where that page starts in the file
};
