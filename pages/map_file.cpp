#include "pages/map_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// "fbwarm page-role map", version 1.
constexpr char kMagic[8] = {'F', 'B', 'W', 'P', 'M', 'A', 'P', '\n'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeadSize = 8 + 4 + 8 * 3 + 4 + 2 * 2 + 8 + 8 + 4 + 4;
constexpr size_t kRunSize = 16;
constexpr size_t kCrcSize = 4;

class Writer {
 public:
  void Bytes(const void* data, size_t size) { out_.append(static_cast<const char*>(data), size); }
  void U8(uint8_t value) { out_.push_back(static_cast<char>(value)); }
  void U16(uint16_t value) { Unsigned(value, 2); }
  void U32(uint32_t value) { Unsigned(value, 4); }
  void U64(uint64_t value) { Unsigned(value, 8); }
  std::string& out() { return out_; }

 private:
  void Unsigned(uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out_.push_back(static_cast<char>(value >> (8 * i)));
  }
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool Bytes(void* data, size_t size) {
    if (in_.size() - at_ < size) return false;
    std::memcpy(data, in_.data() + at_, size);
    at_ += size;
    return true;
  }
  uint8_t U8() { return static_cast<uint8_t>(Unsigned(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Unsigned(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Unsigned(4)); }
  uint64_t U64() { return Unsigned(8); }

 private:
  // Callers check the size first; past the end reads zero.
  uint64_t Unsigned(int size) {
    uint64_t value = 0;
    for (int i = 0; i < size && at_ < in_.size(); ++i, ++at_)
      value |= uint64_t{static_cast<uint8_t>(in_[at_])} << (8 * i);
    return value;
  }
  std::string_view in_;
  size_t at_ = 0;
};

uint32_t Crc32(std::string_view bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (!bytes.empty()) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(bytes.size(), 1u << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), piece);
    bytes.remove_prefix(piece);
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace

std::string EncodeMapFile(const StoredMap& stored) {
  Writer w;
  w.Bytes(kMagic, sizeof kMagic);
  w.U32(kVersion);
  w.U64(stored.key.file.device);
  w.U64(stored.key.file.index);
  w.U64(stored.key.file.size);
  w.U32(stored.key.header.page_size);
  w.U16(stored.key.header.ods_major);
  w.U16(stored.key.header.ods_minor);
  w.U64(stored.key.header.creation_date);
  w.U64(static_cast<uint64_t>(stored.written_at));
  w.U32(stored.map.page_count());
  w.U32(static_cast<uint32_t>(stored.map.runs().size()));
  for (const PageRun& run : stored.map.runs()) {
    w.U32(run.first);
    w.U32(run.count);
    w.U8(static_cast<uint8_t>(run.role.kind));
    w.U8(run.role.encrypted ? 1 : 0);
    w.U8(run.role.level);
    w.U8(run.role.index);
    w.U16(run.role.relation);
    w.U16(0);
  }
  w.U32(Crc32(w.out()));
  return std::move(w.out());
}

std::optional<StoredMap> DecodeMapFile(std::string_view bytes) {
  if (bytes.size() < kHeadSize + kCrcSize) return std::nullopt;
  const std::string_view body = bytes.substr(0, bytes.size() - kCrcSize);
  if (Reader(bytes.substr(body.size())).U32() != Crc32(body)) return std::nullopt;
  Reader r(body);
  char magic[sizeof kMagic];
  r.Bytes(magic, sizeof magic);
  if (std::memcmp(magic, kMagic, sizeof kMagic) != 0 || r.U32() != kVersion) return std::nullopt;
  StoredMap stored;
  stored.key.file.device = r.U64();
  stored.key.file.index = r.U64();
  stored.key.file.size = r.U64();
  stored.key.header.page_size = r.U32();
  stored.key.header.ods_major = r.U16();
  stored.key.header.ods_minor = r.U16();
  stored.key.header.creation_date = r.U64();
  stored.written_at = static_cast<int64_t>(r.U64());
  const uint32_t page_count = r.U32();
  const uint32_t run_count = r.U32();
  if ((body.size() - kHeadSize) / kRunSize != run_count || (body.size() - kHeadSize) % kRunSize)
    return std::nullopt;
  std::vector<PageRun> runs(run_count);
  for (PageRun& run : runs) {
    run.first = r.U32();
    run.count = r.U32();
    const uint8_t kind = r.U8();
    const uint8_t flags = r.U8();
    run.role.level = r.U8();
    run.role.index = r.U8();
    run.role.relation = r.U16();
    if (kind >= kPageKindCount || flags > 1 || r.U16() != 0) return std::nullopt;
    run.role.kind = static_cast<PageKind>(kind);
    run.role.encrypted = flags == 1;
  }
  std::optional<PageMap> map =
      PageMap::FromRuns(stored.key.header.page_size, page_count, std::move(runs));
  if (!map) return std::nullopt;
  stored.map = std::move(*map);
  return stored;
}
