#include "pages/page_stream.h"

#include <algorithm>

PageStream::PageStream(uint32_t page_size, PageSink& sink) : page_size_(page_size), sink_(sink) {
  partial_.reserve(page_size);
}

void PageStream::Feed(uint64_t offset, const uint8_t* bytes, size_t size) {
  if (!partial_.empty()) {
    if (offset == partial_offset_ + partial_.size()) {
      const size_t take = std::min<size_t>(size, page_size_ - partial_.size());
      partial_.insert(partial_.end(), bytes, bytes + take);
      offset += take;
      bytes += take;
      size -= take;
      if (partial_.size() < page_size_) return;
      sink_.Page(static_cast<uint32_t>(partial_offset_ / page_size_), partial_.data());
    }
    partial_.clear();
  }
  // A chunk that starts inside a page: that page cannot be completed.
  const uint64_t into_page = offset % page_size_;
  if (into_page != 0) {
    const uint64_t skip = page_size_ - into_page;
    if (size <= skip) return;
    offset += skip;
    bytes += skip;
    size -= skip;
  }
  while (size >= page_size_) {
    sink_.Page(static_cast<uint32_t>(offset / page_size_), bytes);
    offset += page_size_;
    bytes += page_size_;
    size -= page_size_;
  }
  if (size > 0) {
    partial_.assign(bytes, bytes + size);
    partial_offset_ = offset;
  }
}
