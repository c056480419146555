// A writer of the map killed in the middle of writing: the kernel ends it with SIGXFSZ once the
// new file reaches a file-size limit, a real kill at a known point of the write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "pages/map_store.h"
#include "platform/text_encoding.h"
#include "tests/pages/synthetic_pages.h"
#include "tests/support/temp_dir.h"

namespace {

// A map of run_count runs alternating between data and leaves.
StoredMap MapWithRuns(uint32_t run_count) {
  StoredMap stored;
  stored.key.file = {1, 2, uint64_t{run_count} * 8192};
  stored.key.header = {8192, 12, 0, 99};
  stored.written_at = 1767225600;
  std::vector<PageRun> runs;
  for (uint32_t i = 0; i < run_count; ++i)
    runs.push_back({i, 1, i % 2 ? Role(PageKind::Data, 128) : Role(PageKind::BTree, 128, 0, 0)});
  stored.map = *PageMap::FromRuns(8192, run_count, runs);
  return stored;
}

TEST(MapWriterKilledTest, TheOldMapStays) {
  ScopedTempDir dir;
  const MapStore store(FromNarrow(dir / "maps"));
  const std::u16string db = u"/srv/db/main.fdb";
  const StoredMap old_map = MapWithRuns(10);
  ASSERT_TRUE(store.Save(db, old_map));
  const StoredMap new_map = MapWithRuns(200000);  // about 3 MB

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    const rlimit one_mib{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &one_mib);
    store.Save(db, new_map);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was not killed, status " << status;
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  const std::string path = ToNarrow(store.PathFor(db));
  EXPECT_EQ(std::filesystem::file_size(path + ".new"), 1u << 20) << "killed halfway";

  const LoadedMap loaded = store.Load(db, old_map.key);
  EXPECT_EQ(loaded.status, MapStatus::Loaded);
  EXPECT_EQ(loaded.stored, old_map);
  EXPECT_EQ(store.Load(db, new_map.key).status, MapStatus::Stale);
  // The next writer gets through.
  ASSERT_TRUE(store.Save(db, new_map));
  EXPECT_EQ(store.Load(db, new_map.key).stored, new_map);
}

}  // namespace
