// The start parameters on every platform: look-up, registry, construction and path expansion.
#include "params/application_param_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/environment.h"
#include "tests/params/application_param_list_cases.h"
#include "tests/support/temp_dir.h"

namespace {

using V = std::vector<std::u16string>;

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A list whose items are exactly the given arguments: no executable path, no file.
std::unique_ptr<TApplicationParamList> ListOf(const V& items) {
  return std::make_unique<TApplicationParamList>(u"", items, u"");
}

struct LookupCase {
  std::u16string item;
  bool has_db;
  std::u16string db_value;
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << Utf16ToUtf8(c.item); }

class LookupWithDbTest : public testing::TestWithParam<LookupCase> {};

TEST_P(LookupWithDbTest, PresenceAndValue) {
  const LookupCase& c = GetParam();
  auto list = ListOf({c.item});
  EXPECT_EQ(list->HasParam(u"DB"), c.has_db);
  EXPECT_EQ(list->GetParamValue(u"DB"), c.db_value);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, LookupWithDbTest,
    testing::Values(LookupCase{u"/DB:C:\\Data\\Main.gdb", true, u"C:\\Data\\Main.gdb"},
                    LookupCase{u"/db:c:\\data\\Main.gdb", true, u"c:\\data\\Main.gdb"},
                    LookupCase{u"-DB:x", true, u""}, LookupCase{u"\\DB:x", true, u""},
                    LookupCase{u"DB:x", true, u""}, LookupCase{u"/DB=x", true, u""},
                    LookupCase{u"DB=x", true, u""}, LookupCase{u"/DB", true, u""},
                    LookupCase{u"DB", true, u""}, LookupCase{u"/DB:", true, u""},
                    LookupCase{u"/DB:x:y", true, u"x:y"}, LookupCase{u"/DB=x:y", true, u""},
                    LookupCase{u"/ DB :x", true, u""}, LookupCase{u"--DB:x", false, u""},
                    LookupCase{u"/DBX:y", false, u""},
                    // Items that hold the key only further on are no DB parameter at all.
                    LookupCase{u"//DB:x", false, u""}, LookupCase{u"/X:/DB:y", false, u""},
                    LookupCase{u"/PASSWORD:a/db:b", false, u""}));

TEST(GetParamValue, AnItemHoldingTheKeyFurtherOnDoesNotStopTheSearch) {
  // A password with "/db:" in it must not hijack the database path.
  const struct {
    V items;
    std::u16string value;
  } cases[] = {
      {V{u"/PASSWORD:a/db:b", u"/DB:/data/main.fdb"}, u"/data/main.fdb"},
      {V{u"//DB:x", u"/X:/DB:y", u"/DB:z"}, u"z"},
      {V{u"/USER:/DB:u", u"/db:Z"}, u"Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(ListOf(c.items)->GetParamValue(u"DB"), c.value);
  EXPECT_EQ(ListOf({u"/PASSWORD:a/db:b", u"/DB:x"})->GetParamValue(u"PASSWORD"), u"a/db:b");
}

TEST(GetParamValue, FirstMatchWinsAndArgumentsPrecedeFileLines) {
  EXPECT_EQ(ListOf({u"/DB:a", u"/DB:b"})->GetParamValue(u"DB"), u"a");

  ScopedTempDir dir;
  WriteFileBytes(dir / "warm.INI", "[STARTPARAMS]\n/DB:b\n/USER:file\n");
  TApplicationParamList list(U16(dir / "warm"), {u"/DB:a"}, U16(dir / "warm.INI"));
  EXPECT_EQ(list.Items(), (V{U16(dir / "warm"), u"/DB:a", u"/DB:b", u"/USER:file"}));
  EXPECT_EQ(list.GetParamValue(u"DB"), u"a");
  EXPECT_EQ(list.GetParamValue(u"user"), u"file");
}

TEST(GetParamValue, ValueIsAtMost255UnitsAndUntrimmed) {
  const std::u16string long_value = std::u16string(255, u'a') + std::u16string(45, u'b');
  EXPECT_EQ(ListOf({u"/DB:" + long_value})->GetParamValue(u"DB"), std::u16string(255, u'a'));
  EXPECT_EQ(ListOf({u"/DB: x "})->GetParamValue(u"DB"), u" x ");
  EXPECT_EQ(ListOf({u"/PASSWORD:\u00e4\u00c4x"})->GetParamValue(u"password"), u"\u00e4\u00c4x");
}

TEST(ParamValueTooLong, OnlyAValueThatIsCutIsTooLong) {
  const struct {
    std::u16string item;
    bool too_long;
  } cases[] = {
      {u"/DB:" + std::u16string(255, u'a'), false},   {u"/DB:" + std::u16string(256, u'a'), true},
      {u"/db:" + std::u16string(300, u'a'), true},    {u"/DB:", false},
      {u"/USER:" + std::u16string(300, u'a'), false},  // another parameter
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item.size());
    EXPECT_EQ(ListOf({c.item})->ParamValueTooLong(u"DB"), c.too_long);
  }
  // The first item decides, as for the value itself.
  EXPECT_FALSE(ListOf({u"/DB:x", u"/DB:" + std::u16string(300, u'a')})->ParamValueTooLong(u"DB"));
  EXPECT_TRUE(ListOf({u"/DB:" + std::u16string(300, u'a'), u"/DB:x"})->ParamValueTooLong(u"DB"));
}

TEST(GetParamValue, OnlyAsciiLettersIgnoreCase) {
  auto list = ListOf({u"/D\u00c4:x"});
  EXPECT_EQ(list->GetParamValue(u"d\u00e4"), u"");
  EXPECT_FALSE(list->HasParam(u"d\u00e4"));
  EXPECT_EQ(list->GetParamValue(u"d\u00c4"), u"x");
  EXPECT_TRUE(list->HasParam(u"d\u00c4"));
}

TEST(HasParam, HelpSwitchForms) {
  for (const std::u16string item : {u"?", u"/?", u"-?", u"\\?", u"/?:x", u" ? "})
    EXPECT_TRUE(ListOf({item})->HasParam(u"?")) << std::string(item.begin(), item.end());
  for (const std::u16string item : {u"??", u"//?", u"/ ?x"})
    EXPECT_FALSE(ListOf({item})->HasParam(u"?")) << std::string(item.begin(), item.end());
}

TEST(HasArgument, OnlyACommandLineArgumentOfExactlyThatText) {
  ScopedTempDir dir;
  // The executable's own name and a parameter file line are no command-line argument.
  WriteFileBytes(dir / "warm.INI", "[STARTPARAMS]\r\n--help\r\n");
  const struct {
    V arguments;
    bool found;
  } cases[] = {
      {{u"--help"}, true},    {{u"/DB:x", u"--help", u"/USER:y"}, true},
      {{u"--HELP"}, false},   {{u"---help"}, false},
      {{u"--help=x"}, false}, {{u" --help"}, false},
      {{u"/--help"}, false},  {{}, false},
  };
  for (const auto& c : cases) {
    TApplicationParamList list(U16(dir / "--help"), c.arguments, U16(dir / "warm.INI"));
    EXPECT_EQ(list.HasArgument(u"--help"), c.found)
        << (c.arguments.empty() ? "(none)" : Utf16ToUtf8(c.arguments[0]));
  }
}

TEST(HasParam, TheNameIsUsedExactlyAsPassedWhileTheRegistryNormalises) {
  auto list = ListOf({u"/DB:x"});
  EXPECT_FALSE(list->HasParam(u"/DB"));
  EXPECT_FALSE(list->HasParam(u" DB"));
  EXPECT_EQ(list->GetParamValue(u"/DB"), u"");
  EXPECT_EQ(list->RequestedParams().Items(), (V{u"DB", u"TEMP"}));
}

TEST(Construction, ExecutablePathIsArgumentZeroOnlyWithArguments) {
  auto with = std::make_unique<TApplicationParamList>(u"/opt/fbwarm/bin/fbwarm",
                                                      V{u"", u"/DB:x", u""}, u"");
  EXPECT_EQ(with->Items(), (V{u"/opt/fbwarm/bin/fbwarm", u"/DB:x"}));
  EXPECT_TRUE(with->HasParam(u"opt/fbwarm/bin/fbwarm"));

  auto without = std::make_unique<TApplicationParamList>(u"/opt/fbwarm/bin/fbwarm", V{}, u"");
  EXPECT_EQ(without->Count(), 0u);
  EXPECT_FALSE(without->HasParam(u"DB"));
  EXPECT_EQ(without->GetParamValue(u"DB"), u"");
  EXPECT_EQ(without->RequestedParams().Items(), (V{u"DB", u"TEMP"}));
}

TEST(Construction, NoSourcesGiveAnEmptyListWithTempRegistered) {
  ScopedTempDir dir;
  TApplicationParamList list(U16(dir / "warm"), {}, U16(dir / "warm.INI"));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.RequestedParams().Items(), V{u"TEMP"});
}

TEST(Construction, FileLinesComeAfterArgumentsAndAreAddedWithoutArguments) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "warm.INI", "[STARTPARAMS]\r\n  /DB:  spaced  \r\n");
  TApplicationParamList list(U16(dir / "warm"), {}, U16(dir / "warm.INI"));
  EXPECT_EQ(list.Items(), V{u"/DB:  spaced"});
  EXPECT_EQ(list.GetParamValue(u"DB"), u"  spaced");
}

struct RegistrationCase {
  std::u16string asked;
  std::u16string registered;
};

void PrintTo(const RegistrationCase& c, std::ostream* os) {
  *os << '"' << Utf16ToUtf8(c.asked) << '"';
}

class RegistrationTest : public testing::TestWithParam<RegistrationCase> {};

TEST_P(RegistrationTest, NameIsNormalised) {
  auto list = ListOf({});
  list->HasParam(GetParam().asked);
  V expected{GetParam().registered, u"TEMP"};
  if (expected[0] > expected[1]) std::swap(expected[0], expected[1]);
  EXPECT_EQ(list->RequestedParams().Items(), expected);

  auto by_value = ListOf({});
  by_value->GetParamValue(GetParam().asked);
  EXPECT_EQ(by_value->RequestedParams().Items(), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistrationTest,
                         testing::Values(RegistrationCase{u"db", u"DB"},
                                         RegistrationCase{u"  -/db:  ", u"DB"},
                                         RegistrationCase{u"a=b:c", u"ABC"},
                                         RegistrationCase{u"- x", u"X"},
                                         RegistrationCase{u"?", u"?"}, RegistrationCase{u"", u""},
                                         RegistrationCase{u"\\\\--x:=", u"X"}));

TEST(Registry, EachNameOnceSortedAtEveryRead) {
  auto list = ListOf({u"/DB:x"});
  list->HasParam(u"db");
  list->GetParamValue(u"DB");
  list->HasParam(u"/DB:");
  list->GetParamValue(u"temp");
  EXPECT_EQ(list->RequestedParams().Items(), (V{u"DB", u"TEMP"}));

  auto run = ListOf({});
  run->GetParamValue(u"USER");
  run->GetParamValue(u"DB");
  const TStringList& registry = run->RequestedParams();
  EXPECT_EQ(registry.Items(), (V{u"DB", u"TEMP", u"USER"}));
  // Names asked for after a read wait at the end until the next read sorts them in.
  run->HasParam(u"?");
  run->HasParam(u"PASSWORD");
  EXPECT_EQ(registry.Items(), (V{u"DB", u"TEMP", u"USER", u"?", u"PASSWORD"}));
  run->GetParamValue(u"SERVER");
  EXPECT_EQ(run->RequestedParams().Items(),
            (V{u"?", u"DB", u"PASSWORD", u"SERVER", u"TEMP", u"USER"}));
}

TEST(ExpandParamPath, TrimsUnquotesAndExpands) {
  SetEnvironmentValue(u"FBWARM_TEST_WORK", u"/srv/w");
  const struct {
    std::u16string text;
    std::u16string expected;
  } cases[] = {
      {u"  /tmp/x \t", u"/tmp/x"},
      {u" \"/my temp/\" ", u"/my temp/"},
      {u"\" inner blanks stay \"", u" inner blanks stay "},
      {u"\"\"", u""},
      {u"\"", u"\""},
      {u"\"a\"b", u"\"a\"b"},
      {u"%FBWARM_TEST_WORK%/Tmp", u"/srv/w/Tmp"},
      {u"\"%FBWARM_TEST_WORK%\"", u"/srv/w"},
      {u"%FBWARM_TEST_NOSUCH%/Tmp", u"%FBWARM_TEST_NOSUCH%/Tmp"},
      {u"100%", u"100%"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TApplicationParamList::ExpandParamPath(c.text), c.expected)
        << std::string(c.text.begin(), c.text.end());
  UnsetVariable(u"FBWARM_TEST_WORK");
}

}  // namespace
