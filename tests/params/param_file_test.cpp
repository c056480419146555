#include "params/param_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/params/param_file_cases.h"
#include "tests/support/temp_dir.h"

namespace {

using V = std::vector<std::u16string>;

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes;
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(ParameterFilePath, ReplacesTheLastComponentsExtensionOrAppends) {
  std::vector<ParameterFilePathCase> cases = {
      {u"fbwarm", u"fbwarm.INI"},
      {u"fbwarm.ini", u"fbwarm.INI"},
  };
  // Where a path's last component starts differs: each platform adds its own paths.
  cases.insert(cases.end(), kPlatformParameterFilePaths.begin(), kPlatformParameterFilePaths.end());
  for (const auto& c : cases) EXPECT_EQ(ParameterFilePath(c.executable), c.expected);
}

TEST(DecodeParameterFile, ByteOrderMarksChooseTheEncodingAndAreDropped) {
  const struct {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"\xEF\xBB\xBF/DB:\xC3\xA4", u"/DB:\u00e4"},
      {std::string("\xFF\xFE/\0D\0\xE4\0", 8), u"/D\u00e4"},
      {std::string("\xFE\xFF\0/\0D\0\xE4", 8), u"/D\u00e4"},
      // A trailing odd byte of UTF-16 is no character.
      {std::string("\xFF\xFEx\0y", 5), u"x"},
      {"\xEF\xBB\xBF", u""},
      {"\xFF\xFE", u""},
      // A byte-order mark only counts at the very start.
      {"x\xEF\xBB\xBF", u"x\uFEFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeParameterFile(c.bytes), c.text);
}

TEST(DecodeParameterFile, MalformedUtf8AfterItsMarkGivesTheEmptyText) {
  for (const char* rest :
       {"/DB:\xC3", "/DB:\xFF x", "\xC0\xAF", "\xED\xA0\x80", "/DB:x\n\x80\n/USER:u"}) {
    EXPECT_EQ(DecodeParameterFile(std::string("\xEF\xBB\xBF") + rest), u"") << rest;
  }
}

TEST(DecodeParameterFile, WithoutMarkTheNarrowEncodingDecodes) {
  const std::string unavailable = PrepareNarrowEncoding();
  if (!unavailable.empty()) GTEST_SKIP() << unavailable;
  for (const auto& c : kPlatformNarrowCases)
    EXPECT_EQ(DecodeParameterFile(c.bytes), c.text) << c.bytes;
}

TEST(DecodeParameterFile, NulEndsTheText) {
  EXPECT_EQ(DecodeParameterFile(std::string("ab\0cd", 5)), u"ab");
  EXPECT_EQ(DecodeParameterFile(std::string("\xFF\xFE"
                                            "a\0\0\0b\0",
                                            8)),
            u"a");
  // UTF-16 without a mark: the first NUL ends it after one character.
  EXPECT_EQ(DecodeParameterFile(std::string("[\0S\0", 4)), u"[");
}

TEST(SplitLines, EveryLineEndCountsAndTheLastLineNeedsNone) {
  const struct {
    std::u16string text;
    V lines;
  } cases[] = {
      {u"", V{}},
      {u"a", V{u"a"}},
      {u"a\r\n", V{u"a"}},
      {u"a\n\n", V{u"a", u""}},
      {u"\r\n", V{u""}},
      {u"a\rb\r\nc\nd", V{u"a", u"b", u"c", u"d"}},
      {u"a\r\r\nb", V{u"a", u"", u"b"}},
      {u"a\n\rb", V{u"a", u"", u"b"}},
      {u" x \r", V{u" x "}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines);
}

TEST(StartParamLines, OnlyTrimmedNonEmptyLinesOfStartParamsSections) {
  const struct {
    V lines;
    V items;
  } cases[] = {
      // Lines before the first header and in other sections are ignored; the header's letter
      // case does not matter; anything else on a header line makes it another section.
      {V{u"/TOP:t", u"[Other]", u"/DB:x", u"[startparams]", u"", u"   /USER:u",
         u"[STARTPARAMS] ; old", u"/PASSWORD:p"},
       V{u"/USER:u"}},
      // Two sections both contribute, in file order.
      {V{u"[STARTPARAMS]", u"/DB:a", u"[Other]", u"/DB:o", u"[StartParams]", u"/USER:b"},
       V{u"/DB:a", u"/USER:b"}},
      // No comment syntax; a '[' after blanks is no header but an item.
      {V{u"[STARTPARAMS]", u";note", u"  [Other]", u"\t/DB:x\t"},
       V{u";note", u"[Other]", u"/DB:x"}},
      // Trimming makes a header of trailing blanks, never of a blank inside the brackets.
      {V{u"[STARTPARAMS] \t", u"a", u"[ STARTPARAMS]", u"b"}, V{u"a"}},
      // U+00A0 is not trimmed, so that line is an item.
      {V{u"[STARTPARAMS]", u"\u00a0", u" \x01 "}, V{u"\u00a0"}},
      {V{u"[STARTPARAMS]"}, V{}},
  };
  for (const auto& c : cases) EXPECT_EQ(StartParamLines(c.lines), c.items);
}

class ReadParameterFileTest : public testing::Test {
 protected:
  std::u16string Write(const std::string& bytes) {
    WriteFileBytes(dir_ / "fbwarm.INI", bytes);
    return U16(dir_ / "fbwarm.INI");
  }
  ScopedTempDir dir_;
};

TEST_F(ReadParameterFileTest, WhatIsNotThereIsMissingAndWhatCannotBeReadSaysWhy) {
  std::filesystem::create_directory(dir_ / "dir.INI");
  for (const std::string name : {"nothing.INI", "nothing/deeper.INI"}) {
    SCOPED_TRACE(name);
    const ParameterFile file = ReadParameterFile(U16(dir_ / name));
    EXPECT_EQ(file.path, U16(dir_ / name));
    EXPECT_EQ(file.state, ParameterFileState::Missing);
    EXPECT_EQ(file.items, V{});
  }
  const ParameterFile dir = ReadParameterFile(U16(dir_ / "dir.INI"));
  EXPECT_EQ(dir.state, ParameterFileState::Unreadable);
  EXPECT_NE(dir.reason, u"");  // the system's words (the POSIX test of the tool checks them)
  EXPECT_EQ(dir.items, V{});
  EXPECT_EQ(ReadParameterFile(u"").state, ParameterFileState::None);
}

TEST_F(ReadParameterFileTest, DecodesSplitsAndScansTheFile) {
  const struct {
    std::string bytes;
    V items;
    ParameterFileState state = ParameterFileState::Read;
  } cases[] = {
      {"[Other]\r\n/DB:x\r\n[startparams]\r\n\r\n  /USER:u\r\n[STARTPARAMS] ; old\r\n"
       "/PASSWORD:p\r\n",
       V{u"/USER:u"}},
      {"[STARTPARAMS]\r/DB:a\r/USER:b\r", V{u"/DB:a", u"/USER:b"}},
      {"\xEF\xBB\xBF[STARTPARAMS]\n/DB:/data/\xC3\xA4.fdb\n", V{u"/DB:/data/\u00e4.fdb"}},
      // Malformed UTF-8 after its mark gives no text at all, so no section either.
      {"\xEF\xBB\xBF[STARTPARAMS]\n/DB:a\n/USER:\xC3", V{}, ParameterFileState::NoSection},
      {"\xFF\xFE" + Utf16(u"[STARTPARAMS]\n/DB:\u00e4", false), V{u"/DB:\u00e4"}},
      {"\xFE\xFF" + Utf16(u"[STARTPARAMS]\n/DB:\u00e4", true), V{u"/DB:\u00e4"}},
      // UTF-16 without a mark: read in the narrow encoding, its first NUL ends the text.
      {Utf16(u"[STARTPARAMS]\n/DB:a", false), V{}, ParameterFileState::NoSection},
      {Utf16(u"[STARTPARAMS]\n/DB:a", true), V{}, ParameterFileState::NoSection},
      {"[STARTPARAMS]\n", V{}},
      {"[START PARAMS]\n/DB:a\n", V{}, ParameterFileState::NoSection},
      {"", V{}, ParameterFileState::NoSection},
      {std::string("[STARTPARAMS]\n/DB:a\n\0/USER:u\n", 29), V{u"/DB:a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const ParameterFile file = ReadParameterFile(Write(c.bytes));
    EXPECT_EQ(file.items, c.items);
    EXPECT_EQ(file.state, c.state);
  }
}

}  // namespace
