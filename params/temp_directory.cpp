#include "params/temp_directory.h"

#include <vector>

#include "platform/files.h"

bool EnsureDirectory(const std::u16string& path) {
  // Walk outwards to the first level that counts as present, then create inwards. A loop
  // rather than recursion: an expanded %NAME% can make the chain arbitrarily long.
  std::vector<std::u16string> to_create;  // innermost first
  std::u16string dir = path;
  while (true) {
    if (dir.empty()) return false;
    if (dir.back() == PathSeparator()) dir.pop_back();
    if (dir.size() < 3) break;
    const PathKind kind = QueryPath(dir);
    if (kind == PathKind::Directory || kind == PathKind::Inaccessible) break;
    const size_t end = dir.find_last_of(PathComponentEnds());
    std::u16string parent = end == std::u16string::npos ? u"" : dir.substr(0, end + 1);
    if (parent == dir) break;
    to_create.push_back(std::move(dir));
    dir = std::move(parent);
  }
  for (auto level = to_create.rbegin(); level != to_create.rend(); ++level)
    if (!MakeDirectory(*level)) return false;
  return true;
}
