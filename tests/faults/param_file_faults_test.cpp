// Parameter files the tool must survive: huge, binary, in an encoding it does not take, or
// something other than a file. A file it cannot use contributes nothing; the run goes on, and
// standard error says why when the file is there but cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "tests/faults/fault_checks.h"
#include "tests/support/temp_dir.h"

namespace {

// The built binary copied into a directory of its own, with the parameter file beside it.
class ParamFileFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(FbwarmBinary(), dir_ / "fbwarm");
    WriteFileBytes(db_, "data");
  }

  ProcessResult Run(const std::string& shell_prefix = "") {
    ProcessOptions options;
    options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
    options.shell_prefix = shell_prefix;
    options.timeout_seconds = 60;
    return RunProcess(dir_ / "fbwarm", options);
  }

  // Standard error's warning for a parameter file that is there but could not be read.
  std::string Unreadable(const std::string& reason) const {
    return "fbwarm: WARNUNG: Die Parameterdatei " + ini_ +
           " ist vorhanden, kann aber nicht gelesen werden: " + reason +
           "\\. Ihre Parameter gelten fuer diesen Lauf nicht; .*";
  }

  // The section that names the database file, so a used file shows as a read-through.
  std::string Section() const { return "[STARTPARAMS]\r\n/DB:" + db_ + "\r\n"; }

  ScopedTempDir dir_;
  const std::string ini_ = dir_ / "fbwarm.INI";
  const std::string db_ = dir_ / "db.fdb";
};

const std::vector<std::string> kFileUsed = kReadThrough;
const std::vector<std::string> kFileIgnored = {kNotLocal};

std::string Utf16Le(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes;
}

// Bytes 1 to 255 in a fixed random order: every non-NUL byte, no valid text.
std::string Junk(size_t size) {
  std::mt19937 random(42);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(1 + random() % 255);
  return bytes;
}

}  // namespace

TEST_F(ParamFileFaults, EncodingsTheToolDoesNotTakeContributeNothing) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"UTF-16 with byte-order mark", "\xFF\xFE" + Utf16Le(Section()), kFileUsed},
      // Read in the narrow encoding, its first NUL ends the text after "[".
      {"UTF-16 without byte-order mark", Utf16Le(Section()), kFileIgnored},
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + Section() + "/USER:J\xC3\xBCrgen\r\n",
       kFileUsed},
      {"UTF-8 with byte-order mark, malformed",
       "\xEF\xBB\xBF" + Section() + "/USER:J\xC3\x28rgen\r\n", kFileIgnored},
      {"binary around the section", Junk(100000) + "\n" + Section() + Junk(100000), kFileUsed},
      {"binary with a NUL before the section", Junk(1000) + std::string(1, '\0') + "\n" + Section(),
       kFileIgnored},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(ini_, c.bytes);
    ExpectLinesThenError(Run(), c.lines, kLibraryMissing);
  }
}

TEST_F(ParamFileFaults, SomethingOtherThanAFileInItsPlaceIsIgnoredAndNamed) {
  std::filesystem::create_directory(ini_);
  ExpectLinesThenError(Run(), kFileIgnored, kLibraryMissing,
                       ErrorLines{Unreadable("Is a directory")});
  std::filesystem::remove(ini_);
  // Nobody ever writes to it: opening it for a whole read would wait for ever.
  ASSERT_EQ(mkfifo(ini_.c_str(), 0600), 0);
  ExpectLinesThenError(Run(), kFileIgnored, kLibraryMissing,
                       ErrorLines{Unreadable("keine regulaere Datei")});
}

TEST_F(ParamFileFaults, AHugeFileIsReadWholeOrNotAtAll) {
  // 200 MB of another section's lines, then the section that counts. Under the sanitizers
  // 20 MB: their check of each iconv call's whole remaining input makes the decoding, done in
  // 4 KiB steps, take time quadratic in the file's size.
  const size_t size = std::getenv("FBWARM_SANITIZED") ? 20'000'000 : 200'000'000;
  const std::string line = std::string(9998, 'j') + "\r\n";
  std::string bytes = "[Junk]\r\n";
  bytes.reserve(size + 1000);
  while (bytes.size() < size) bytes += line;
  bytes += Section();
  WriteFileBytes(ini_, bytes);
  bytes = std::string();
  ExpectLinesThenError(Run(), kFileUsed, kLibraryMissing);

  if (std::getenv("FBWARM_SANITIZED")) GTEST_SKIP() << "sanitizers need more address space";
  // Too little memory to decode it: the file counts as unreadable, the run goes on without it.
  ExpectLinesThenError(Run("ulimit -v 500000;"), kFileIgnored, kLibraryMissing,
                       ErrorLines{Unreadable("Zu wenig Arbeitsspeicher")});
}
