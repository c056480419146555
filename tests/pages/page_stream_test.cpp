// Cutting chunks of a read-through into whole pages.
#include "pages/page_stream.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr uint32_t kPage = 4096;

// Records what it receives: each page's number and its bytes.
class RecordingSink : public PageSink {
 public:
  void Page(uint32_t number, const uint8_t* bytes) override {
    ++calls[number];
    received[number].assign(bytes, bytes + kPage);
  }
  std::map<uint32_t, int> calls;
  std::map<uint32_t, std::vector<uint8_t>> received;
};

// A file whose every byte tells its page and place.
std::vector<uint8_t> PatternFile(uint32_t pages) {
  std::vector<uint8_t> file(size_t{pages} * kPage);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + i / kPage);
  return file;
}

std::vector<uint8_t> PageOf(const std::vector<uint8_t>& file, uint32_t number) {
  return {file.begin() + size_t{number} * kPage, file.begin() + size_t{number + 1} * kPage};
}

class ChunkSizeTest : public testing::TestWithParam<size_t> {};

TEST_P(ChunkSizeTest, EveryPageOnceWithItsBytes) {
  const std::vector<uint8_t> file = PatternFile(9);
  RecordingSink sink;
  PageStream stream(kPage, sink);
  for (size_t at = 0; at < file.size(); at += GetParam())
    stream.Feed(at, file.data() + at, std::min(GetParam(), file.size() - at));
  ASSERT_EQ(sink.calls.size(), 9u);
  for (uint32_t number = 0; number < 9; ++number) {
    EXPECT_EQ(sink.calls[number], 1) << number;
    EXPECT_EQ(sink.received[number], PageOf(file, number)) << number;
  }
}

// Chunks smaller than a page, a page less or more by one, odd sizes, several pages, the file.
INSTANTIATE_TEST_SUITE_P(Sizes, ChunkSizeTest,
                         testing::Values(1, 1000, kPage - 1, kPage, kPage + 1, 3 * kPage + 17,
                                         9 * kPage));

TEST(PageStreamTest, AGapDropsThePageItCuts) {
  const std::vector<uint8_t> file = PatternFile(6);
  RecordingSink sink;
  PageStream stream(kPage, sink);
  // Page 1 is cut by the first chunk's end; the next chunk starts elsewhere (a skipped range).
  stream.Feed(0, file.data(), kPage + 100);
  stream.Feed(3 * kPage, file.data() + 3 * kPage, 2 * kPage);
  EXPECT_EQ(sink.calls, (std::map<uint32_t, int>{{0, 1}, {3, 1}, {4, 1}}));
  EXPECT_EQ(sink.received[3], PageOf(file, 3));
}

TEST(PageStreamTest, AChunkStartingInsideAPageBeginsAtTheNextPage) {
  const std::vector<uint8_t> file = PatternFile(4);
  RecordingSink sink;
  PageStream stream(kPage, sink);
  stream.Feed(kPage + 5, file.data() + kPage + 5, 3 * kPage - 5);
  EXPECT_EQ(sink.calls, (std::map<uint32_t, int>{{2, 1}, {3, 1}}));
  EXPECT_EQ(sink.received[2], PageOf(file, 2));
  // A chunk that ends before the next page starts gives nothing.
  RecordingSink none;
  PageStream short_stream(kPage, none);
  short_stream.Feed(10, file.data() + 10, kPage - 20);
  EXPECT_TRUE(none.calls.empty());
}

}  // namespace
