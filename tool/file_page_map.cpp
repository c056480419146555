#include "tool/file_page_map.h"

#include <memory>
#include <vector>

#include "pages/database_header.h"
#include "pages/page_map_builder.h"
#include "pages/page_stream.h"
#include "platform/files.h"

namespace {

constexpr size_t kChunk = 8 * 1024 * 1024;

}  // namespace

std::optional<PageMap> MapOfLocalFile(const std::u16string& path) {
  SequentialFile file(path);
  if (!file.IsOpen()) return std::nullopt;
  std::vector<uint8_t> buffer(kChunk);
  const int64_t first = file.Read(buffer.data(), buffer.size());
  if (first <= 0) return std::nullopt;
  const std::optional<DatabaseHeader> header =
      ReadDatabaseHeader(buffer.data(), static_cast<size_t>(first));
  if (!header) return std::nullopt;
  const uint64_t pages = file.Size() / header->page_size;
  if (pages == 0 || pages > 0x7FFFFFFF) return std::nullopt;
  PageMapBuilder builder(header->page_size, static_cast<uint32_t>(pages));
  PageStream stream(header->page_size, builder);
  uint64_t offset = 0;
  for (int64_t got = first; got != 0; got = file.Read(buffer.data(), buffer.size())) {
    if (got < 0) return std::nullopt;
    stream.Feed(offset, buffer.data(), static_cast<size_t>(got));
    offset += static_cast<uint64_t>(got);
  }
  return builder.Finish();
}
