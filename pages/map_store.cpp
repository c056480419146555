#include "pages/map_store.h"

#include <zlib.h>

#include "platform/files.h"

namespace {

constexpr size_t kNameKept = 48;

bool IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'-' || c == u'_';
}

// Where a path's last component starts: after the platform's separators, or '/', which Windows
// takes as a separator too.
size_t LastSeparator(const std::u16string& path) {
  return path.find_last_of(std::u16string(PathComponentEnds()) + u'/');
}

std::u16string LastComponent(const std::u16string& path) {
  const size_t end = LastSeparator(path);
  return end == std::u16string::npos ? path : path.substr(end + 1);
}

// CRC-32 of the path's UTF-16 code units, low byte first: the same on every platform.
uint32_t PathChecksum(const std::u16string& path) {
  std::string bytes;
  for (char16_t c : path) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::u16string Hex(uint32_t value) {
  std::u16string text;
  for (int shift = 28; shift >= 0; shift -= 4)
    text.push_back(u"0123456789abcdef"[(value >> shift) & 0xF]);
  return text;
}

bool MakeDirectories(const std::u16string& directory) {
  if (directory.empty() || QueryPath(directory) == PathKind::Directory) return true;
  const size_t end = LastSeparator(directory);
  if (end != std::u16string::npos && end > 0 && !MakeDirectories(directory.substr(0, end)))
    return false;
  return MakeDirectory(directory) || QueryPath(directory) == PathKind::Directory;
}

}  // namespace

MapStore::MapStore(std::u16string directory) : directory_(std::move(directory)) {}

std::u16string MapStore::PathFor(const std::u16string& database_path) const {
  std::u16string name;
  for (char16_t c : LastComponent(database_path)) {
    if (name.size() == kNameKept) break;
    name.push_back(IsNameCharacter(c) ? c : u'_');
  }
  name += u"-" + Hex(PathChecksum(database_path)) + u".pagemap";
  return directory_ + PathSeparator() + name;
}

LoadedMap MapStore::Load(const std::u16string& database_path, const MapKey& key) const {
  std::string bytes;
  if (!ReadWholeFile(PathFor(database_path), bytes)) return {MapStatus::Missing, std::nullopt};
  std::optional<StoredMap> stored = DecodeMapFile(bytes);
  if (!stored) return {MapStatus::Damaged, std::nullopt};
  const FileIdentity& was = stored->key.file;
  if (was.device != key.file.device || was.index != key.file.index)
    return {MapStatus::Foreign, std::nullopt};
  if (!(stored->key == key)) return {MapStatus::Stale, std::nullopt};
  return {MapStatus::Loaded, std::move(stored)};
}

bool MapStore::Save(const std::u16string& database_path, const StoredMap& stored,
                    std::u16string* failure) const {
  if (!MakeDirectories(directory_)) {
    if (failure) *failure = PathAccessFailure(directory_);
    return false;
  }
  return ReplaceFileContent(PathFor(database_path), EncodeMapFile(stored), failure);
}
