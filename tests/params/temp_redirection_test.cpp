// The TEMP parameter at construction, on every platform: which directories appear and what
// TEMP and TMP become.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "params/application_param_list.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "tests/params/application_param_list_cases.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Outcome = TApplicationParamList::TempRedirection::Outcome;
using V = std::vector<std::u16string>;

std::u16string U16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::optional<std::string> Get(const char* name) {
  const std::optional<std::u16string> value = GetEnvironmentValue(U16(name));
  return value ? std::optional<std::string>(Utf16ToUtf8(*value)) : std::nullopt;
}

void Put(const char* name, const std::optional<std::string>& value) {
  if (value)
    SetEnvironmentValue(U16(name), U16(*value));
  else
    UnsetVariable(U16(name));
}

// Runs each test inside a fresh temporary directory with known TEMP and TMP values, and puts
// the working directory and the environment back afterwards.
class TempRedirectionTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TEMP", "TMP", "FBWARM_WORK"}) saved_[name] = Get(name);
    saved_cwd_ = fs::current_path();
    fs::current_path(root_.path());
    Put("TEMP", "before-temp");
    Put("TMP", "before-tmp");
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    for (const auto& [name, value] : saved_) Put(name.c_str(), value);
  }

  // Builds the list with TEMP given as an argument or as a parameter-file line, the value
  // passed through Expand.
  // Returns what the list says became of the redirection.
  Outcome Construct(const std::string& value, bool from_file) {
    const std::string item = "/TEMP:" + Expand(value);
    if (from_file) WriteFileBytes(root_ / "warm.INI", "[STARTPARAMS]\n" + item + "\n");
    TApplicationParamList list(U16(root_ / "warm"), from_file ? V{} : V{U16(item)},
                               from_file ? U16(root_ / "warm.INI") : u"");
    EXPECT_EQ(list.RequestedParams().Items(), std::vector<std::u16string>{u"TEMP"});
    return list.TemporaryDirectoryRedirection().outcome;
  }

  // "{T}" becomes the temporary directory, and '/' the platform's path separator.
  std::string Expand(std::string text) const {
    for (char& c : text)
      if (c == '/') c = static_cast<char>(PathSeparator());
    for (size_t at; (at = text.find("{T}")) != std::string::npos;)
      text.replace(at, 3, root_.path());
    return text;
  }

  // Every directory below the root, relative to it, sorted.
  std::vector<std::string> Tree() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root_.path()))
      if (entry.is_directory())
        found.push_back(fs::relative(entry.path(), root_.path()).generic_string());
    std::sort(found.begin(), found.end());
    return found;
  }

  ScopedTempDir root_;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
  fs::path saved_cwd_;
};

struct RedirectCase {
  const char* name;
  std::string value;  // after "/TEMP:"; {T} is the temporary directory
  bool from_file;
  std::vector<std::string> before;  // directories made before the list is built
  std::vector<std::string> after;   // every directory afterwards
  std::optional<std::string> temp;  // what TEMP and TMP become; nothing: left unchanged
};

void PrintTo(const RedirectCase& c, std::ostream* os) { *os << c.name; }

class RedirectTable : public TempRedirectionTest,
                      public testing::WithParamInterface<RedirectCase> {};

TEST_P(RedirectTable, CreatesAndSets) {
  const RedirectCase& c = GetParam();
  for (const std::string& dir : c.before) fs::create_directories(root_ / dir);
  // Not applied is said only for a value that was given.
  const bool given = c.value.find_first_not_of(" \t") != std::string::npos;
  EXPECT_EQ(Construct(c.value, c.from_file),
            c.temp || !given ? Outcome::Applied : Outcome::NoDirectory);
  EXPECT_EQ(Tree(), c.after);
  const std::string temp = c.temp ? Expand(*c.temp) : "before-temp";
  const std::string tmp = c.temp ? Expand(*c.temp) : "before-tmp";
  EXPECT_EQ(Get("TEMP"), temp);
  EXPECT_EQ(Get("TMP"), tmp);
}

using S = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Values, RedirectTable,
    testing::Values(
        RedirectCase{"EveryMissingLevelIsCreated", "{T}/Tmp/Run", false, S{}, S{"Tmp", "Tmp/Run"},
                     "{T}/Tmp/Run"},
        RedirectCase{"TrailingSeparatorStays", "{T}/Tmp/", false, S{}, S{"Tmp"}, "{T}/Tmp/"},
        RedirectCase{"ExistingDirectoryIsUsed", "{T}/Have", false, S{"Have"}, S{"Have"},
                     "{T}/Have"},
        RedirectCase{"ShortPathIsNotChecked", "x", false, S{}, S{}, "x"},
        RedirectCase{"RelativeExistingDirectory", "abc", false, S{"abc"}, S{"abc"}, "abc"},
        RedirectCase{"RelativeMissingFails", "abc", false, S{}, S{}, std::nullopt},
        RedirectCase{"RelativeWithMissingShortParentFails", "ab/cd", false, S{}, S{}, std::nullopt},
        RedirectCase{"RelativeBelowExistingIsCreated", "abc/run", false, S{"abc"},
                     S{"abc", "abc/run"}, "abc/run"},
        RedirectCase{"UndefinedReferenceStaysAndFails", "%FBWARM_NOSUCH%/Tmp", false, S{}, S{},
                     std::nullopt},
        RedirectCase{"BlanksAroundAreTrimmed", "  {T}/Run \t", false, S{}, S{"Run"}, "{T}/Run"},
        RedirectCase{"QuotesFromTheFileAreRemoved", "\"{T}/My Temp\"", true, S{}, S{"My Temp"},
                     "{T}/My Temp"},
        RedirectCase{"OnlyQuotesFail", "\"\"", true, S{}, S{}, std::nullopt},
        RedirectCase{"EmptyValueChangesNothing", "", false, S{}, S{}, std::nullopt},
        RedirectCase{"BlankValueChangesNothing", "   ", true, S{}, S{}, std::nullopt}),
    [](const testing::TestParamInfo<RedirectCase>& info) { return info.param.name; });

TEST_F(TempRedirectionTest, ReferenceToTheTemporaryDirectory) {
  // Set here because the value names this test's directory.
  Put("FBWARM_WORK", Expand("{T}/W"));
  Construct("%FBWARM_WORK%/Tmp", false);
  EXPECT_EQ(Tree(), (S{"W", "W/Tmp"}));
  EXPECT_EQ(Get("TEMP"), Expand("{T}/W/Tmp"));
  EXPECT_EQ(Get("TMP"), Expand("{T}/W/Tmp"));
}

TEST_F(TempRedirectionTest, AFileInTheWayFails) {
  WriteFileBytes(root_ / "file", "x");
  for (const char* value : {"{T}/file", "{T}/file/", "{T}/file/run"}) {
    EXPECT_EQ(Construct(value, false), Outcome::NoDirectory) << value;
    EXPECT_EQ(Tree(), S{}) << value;
    EXPECT_EQ(Get("TEMP"), "before-temp") << value;
    EXPECT_EQ(Get("TMP"), "before-tmp") << value;
  }
}

TEST_F(TempRedirectionTest, CreationFailureBelowNewLevelsLeavesThemAndTheVariables) {
  // The innermost level cannot be made because its name is too long; the level above it is
  // made first and stays. The name comes by reference, as the value itself is cut at 255.
  Put("FBWARM_WORK", std::string(300, 'n'));
  Construct("{T}/new/%FBWARM_WORK%", false);
  EXPECT_EQ(Tree(), S{"new"});
  EXPECT_EQ(Get("TEMP"), "before-temp");
  EXPECT_EQ(Get("TMP"), "before-tmp");
}

TEST_F(TempRedirectionTest, AValueTooLongToBeTakenWholeIsNotAppliedAndCreatesNothing) {
  // 256 characters after "/TEMP:"; cut to 255 it would name the directory "{T}/a...a".
  const std::string value = root_.path() + "/" + std::string(254 - root_.path().size(), 'a') + "b";
  ASSERT_EQ(value.size(), 256u);
  EXPECT_EQ(Construct(value, false), Outcome::TooLong);
  EXPECT_EQ(Tree(), S{});
  EXPECT_EQ(Get("TEMP"), "before-temp");
  EXPECT_EQ(Get("TMP"), "before-tmp");
}

TEST_F(TempRedirectionTest, UnsetVariablesStayUnsetOnFailureAndAreSetOnSuccess) {
  Put("TEMP", std::nullopt);
  Put("TMP", std::nullopt);
  Construct("abc", false);
  EXPECT_EQ(Get("TEMP"), std::nullopt);
  EXPECT_EQ(Get("TMP"), std::nullopt);
  Construct("{T}/now", false);
  EXPECT_EQ(Get("TEMP"), Expand("{T}/now"));
  EXPECT_EQ(Get("TMP"), Expand("{T}/now"));
}

TEST_F(TempRedirectionTest, APathWhoseAttributesCannotBeReadCountsAsPresent) {
  const std::string why_not = WhyADirectoryCannotBeLocked();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  fs::create_directory(root_ / "locked");
  fs::permissions(root_ / "locked", fs::perms::none);
  Construct("{T}/locked/inner", false);
  EXPECT_EQ(Get("TEMP"), Expand("{T}/locked/inner"));
  EXPECT_EQ(Get("TMP"), Expand("{T}/locked/inner"));
}

TEST_F(TempRedirectionTest, TheFirstTempParameterDecides) {
  WriteFileBytes(root_ / "warm.INI", "[STARTPARAMS]\n/TEMP:" + (root_ / "second") + "\n");
  TApplicationParamList list(U16(root_ / "warm"), {U16("/temp:" + (root_ / "first"))},
                             U16(root_ / "warm.INI"));
  EXPECT_EQ(Tree(), S{"first"});
  EXPECT_EQ(Get("TEMP"), root_ / "first");
}

}  // namespace
