// The map's file: its encoding, and the store's life cycle (missing, foreign, stale, damaged,
// replaced in one step).
#include "pages/map_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "pages/map_store.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/pages/synthetic_pages.h"
#include "tests/support/temp_dir.h"

namespace {

StoredMap Sample(uint64_t size = 40960) {
  StoredMap stored;
  stored.key.file = {2049, 131077, size};
  stored.key.header = {4096, 13, 0, 0x0000002A0000B00Bull};
  stored.written_at = 1767225600;
  stored.map = *PageMap::FromRuns(
      4096, 10,
      {{0, 1, Role(PageKind::Header)},
       {1, 1, Role(PageKind::PageInventory)},
       {2, 3, Role(PageKind::Data, 300, PageRole::kNoLevel, PageRole::kNoIndex, true)},
       {5, 2, Role(PageKind::BTree, 128, 2, 7)},
       {7, 3, Role(PageKind::Free)}});
  return stored;
}

TEST(MapFileTest, RoundTrip) {
  const StoredMap stored = Sample();
  EXPECT_EQ(DecodeMapFile(EncodeMapFile(stored)), stored);
}

TEST(MapFileTest, EveryChangedByteAndEveryCutIsRefused) {
  const std::string bytes = EncodeMapFile(Sample());
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (uint8_t flip : {0x01, 0x80}) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      EXPECT_FALSE(DecodeMapFile(damaged)) << "byte " << at << " ^ " << int(flip);
    }
  }
  for (size_t size = 0; size < bytes.size(); ++size)
    EXPECT_FALSE(DecodeMapFile(bytes.substr(0, size))) << "cut to " << size;
  EXPECT_FALSE(DecodeMapFile(bytes + '\0'));
}

// Bytes changed and signed again with a fresh checksum, as a writer with a fault would write
// them: the decoder checks the content too, not only the checksum.
std::string Resigned(std::string bytes, size_t at, uint8_t value) {
  bytes.resize(bytes.size() - 4);
  bytes[at] = static_cast<char>(value);
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                          static_cast<uInt>(bytes.size()));
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(crc >> (8 * i)));
  return bytes;
}

TEST(MapFileTest, ContentIsCheckedBesideTheChecksum) {
  const std::string bytes = EncodeMapFile(Sample());
  // Where things are: magic 8, version 4, key 24 + 4 + 2 + 2 + 8, written 8, page count 4,
  // run count 4, then 16 bytes per run: first 4, count 4, kind, flags, level, index,
  // relation 2, padding 2.
  const size_t page_count_at = 8 + 4 + 40 + 8;
  const size_t run_count_at = page_count_at + 4;
  const size_t first_run_at = run_count_at + 4;
  struct Case {
    const char* name;
    size_t at;
    uint8_t value;
  };
  const Case cases[] = {
      {"page count beyond the runs", page_count_at, 11},
      {"page count short of the runs", page_count_at, 9},
      {"run count", run_count_at, 4},
      {"version", 8, 2},
      {"run not at its place", first_run_at, 1},
      {"run count of zero", first_run_at + 4, 0},
      {"kind unknown", first_run_at + 8, 200},
      {"flags unknown", first_run_at + 9, 2},
      {"padding used", first_run_at + 14, 1},
  };
  ASSERT_TRUE(DecodeMapFile(Resigned(bytes, page_count_at, 10))) << "re-signing the same bytes";
  for (const Case& c : cases) EXPECT_FALSE(DecodeMapFile(Resigned(bytes, c.at, c.value))) << c.name;
}

class MapStoreTest : public testing::Test {
 protected:
  ScopedTempDir dir_;
  std::u16string Dir(const std::string& name = "maps") { return FromNarrow(dir_ / name); }
  const std::u16string db_ = u"/var/lib/firebird/data/main.fdb";
};

TEST_F(MapStoreTest, MissingThenLoadedAfterSaveInANewDirectory) {
  const MapStore store(Dir("state/fbwarm"));
  const StoredMap stored = Sample();
  EXPECT_EQ(store.Load(db_, stored.key).status, MapStatus::Missing);
  std::u16string failure;
  ASSERT_TRUE(store.Save(db_, stored, &failure)) << ToNarrow(failure);
  const LoadedMap loaded = store.Load(db_, stored.key);
  EXPECT_EQ(loaded.status, MapStatus::Loaded);
  EXPECT_EQ(loaded.stored, stored);
  // No leftovers beside the map.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "state/fbwarm")) {
    ++files;
    EXPECT_EQ(entry.path().extension(), ".pagemap");
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(MapStoreTest, OtherFilesAndOtherStatesAreToldApart) {
  const MapStore store(Dir());
  const StoredMap stored = Sample();
  ASSERT_TRUE(store.Save(db_, stored));
  struct Case {
    const char* name;
    MapKey key;
    MapStatus status;
  };
  MapKey grown = stored.key;
  grown.file.size += 4096;
  MapKey other_inode = stored.key;
  other_inode.file.index += 1;
  MapKey other_device = stored.key;
  other_device.file.device += 1;
  MapKey made_anew = stored.key;
  made_anew.header.creation_date += 1;
  MapKey other_page_size = stored.key;
  other_page_size.header.page_size = 8192;
  MapKey upgraded = stored.key;
  upgraded.header.ods_minor = 1;
  const Case cases[] = {{"same", stored.key, MapStatus::Loaded},
                        {"grown", grown, MapStatus::Stale},
                        {"made anew in place", made_anew, MapStatus::Stale},
                        {"other page size", other_page_size, MapStatus::Stale},
                        {"other ODS minor", upgraded, MapStatus::Stale},
                        {"other inode", other_inode, MapStatus::Foreign},
                        {"other device", other_device, MapStatus::Foreign}};
  for (const Case& c : cases) {
    const LoadedMap loaded = store.Load(db_, c.key);
    EXPECT_EQ(loaded.status, c.status) << c.name;
    EXPECT_EQ(loaded.stored.has_value(), c.status == MapStatus::Loaded) << c.name;
  }
}

TEST_F(MapStoreTest, DamagedFileIsReportedAndReplacedBySave) {
  const MapStore store(Dir());
  const StoredMap stored = Sample();
  ASSERT_TRUE(store.Save(db_, stored));
  const std::string path = ToNarrow(store.PathFor(db_));
  std::string bytes = ReadFileBytes(path);
  bytes[bytes.size() / 2] ^= 0x10;
  WriteFileBytes(path, bytes);
  EXPECT_EQ(store.Load(db_, stored.key).status, MapStatus::Damaged);
  WriteFileBytes(path, "");
  EXPECT_EQ(store.Load(db_, stored.key).status, MapStatus::Damaged);
  ASSERT_TRUE(store.Save(db_, stored));
  EXPECT_EQ(store.Load(db_, stored.key).status, MapStatus::Loaded);
}

TEST_F(MapStoreTest, WhatAnInterruptedWriterLeavesDoesNotCount) {
  const MapStore store(Dir());
  const StoredMap old_map = Sample();
  ASSERT_TRUE(store.Save(db_, old_map));
  // A writer that died halfway leaves its unfinished file beside the map.
  const std::string path = ToNarrow(store.PathFor(db_));
  const std::string newer = EncodeMapFile(Sample(81920));
  WriteFileBytes(path + ".new", newer.substr(0, newer.size() / 2));
  EXPECT_EQ(store.Load(db_, old_map.key).stored, old_map);
  // The next writer takes its place.
  StoredMap grown = Sample(81920);
  ASSERT_TRUE(store.Save(db_, grown));
  EXPECT_EQ(store.Load(db_, grown.key).stored, grown);
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

TEST_F(MapStoreTest, NamesAreSafeDistinctAndStable) {
  const MapStore store(Dir());
  const std::u16string a = store.PathFor(u"/data/main.fdb");
  const std::u16string b = store.PathFor(u"/backup/main.fdb");
  const std::u16string odd = store.PathFor(u"/data/Gr\u00fc\u00dfe sch\u00f6n*?.fdb");
  EXPECT_NE(a, b);
  EXPECT_EQ(a, store.PathFor(u"/data/main.fdb"));
  const std::u16string prefix = Dir() + PathSeparator();
  ASSERT_EQ(a.substr(0, prefix.size()), prefix);
  EXPECT_EQ(a.substr(prefix.size(), 9), u"main.fdb-");
  const std::u16string odd_name = odd.substr(prefix.size());
  for (char16_t c : odd_name) EXPECT_TRUE(c < 0x80 && c != u'*' && c != u'?' && c != u' ');
  // A long name is cut, the checksum keeps it apart from its neighbours.
  const std::u16string long_a = store.PathFor(u"/data/" + std::u16string(300, u'a') + u"1");
  const std::u16string long_b = store.PathFor(u"/data/" + std::u16string(300, u'a') + u"2");
  EXPECT_NE(long_a, long_b);
  EXPECT_LT(long_a.size() - prefix.size(), 80u);
}

}  // namespace
