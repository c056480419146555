#include "tool/file_page_map.h"

#include <vector>

#include "platform/files.h"
#include "tool/fit_read.h"
#include "tool/read_through.h"

std::optional<PageMap> MapOfLocalFile(const std::u16string& path) {
  SequentialFile file(path);
  if (!file.IsOpen()) return std::nullopt;
  std::vector<char> buffer(kReadThroughBufferSize);
  return MapByReadingWhole(file, buffer.data());
}
