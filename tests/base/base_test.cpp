#include <gtest/gtest.h>

#include "base/component.h"
#include "base/exceptions.h"
#include "base/string_list.h"
#include "base/text.h"

TEST(Text, CaseMappingTouchesAsciiLettersOnly) {
  EXPECT_EQ(AsciiUpper(u"aZ\u00e4\u00df1-"), u"AZ\u00e4\u00df1-");
  EXPECT_EQ(AsciiLower(u"Az\u00c4!"), u"az\u00c4!");
}

TEST(Text, TrimRemovesControlsAndBlankButNotNoBreakSpace) {
  EXPECT_EQ(Trim(u"\t\r\n x y\u0001 "), u"x y");
  EXPECT_EQ(Trim(u"\u00a0x\u00a0"), u"\u00a0x\u00a0");
  EXPECT_EQ(Trim(std::u16string(3, u'\0')), u"");
}

TEST(Text, FormatFillsPlaceholdersInOrderAndLeavesTheRest) {
  EXPECT_EQ(FormatText(u"%s is %d", {u"a", u"5", u"ignored"}), u"a is 5");
  EXPECT_EQ(FormatText(u"%s and %s", {u"x"}), u"x and %s");
  EXPECT_EQ(FormatText(u"100%", {u"x"}), u"100%");
}

TEST(Text, Utf8OfSurrogatePairsAndLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"\u00e4\U0001F600"), "\xc3\xa4\xf0\x9f\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(Exceptions, RuntimeMessages) {
  EXPECT_EQ(EOutOfMemory().Message(), u"Zu wenig Arbeitsspeicher");
  EXPECT_EQ(EInOutError(5).Message(), u"Dateizugriff verweigert");
  EXPECT_EQ(EInOutError(101).Message(), u"Zu wenig Speicherplatz");
  EXPECT_EQ(EInOutError(32).Message(), u"E/A-Fehler 32");
  EXPECT_EQ(EOSError(127, u"undefined symbol: x. \r\n").Message(),
            u"Systemfehler.  Code: 127.\r\nundefined symbol: x");
  EXPECT_EQ(EOSError(0, u"").Message(),
            u"Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen");
  EXPECT_STREQ(Exception(u"Gr\u00fc\u00dfe").what(),
               "Gr\xc3\xbc\xc3\x9f"
               "e");
}

TEST(StringList, RefusedChangeLeavesTheLinesAndNotifiesAfterEveryChange) {
  TStringList list;
  int changes = 0;
  list.SetOnChange([&] { ++changes; });
  list.Add(u"a");
  list.Add(u"b");
  EXPECT_EQ(changes, 2);
  list.SetOnChanging([] { throw Exception(u"refused"); });
  EXPECT_THROW(list.Add(u"c"), Exception);
  EXPECT_THROW(list.Clear(), Exception);
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(changes, 2);
}

TEST(StringList, IndexOfIgnoresAsciiCaseAndSortIsStable) {
  TStringList list;
  list.Assign(std::vector<std::u16string>{u"b", u"A", u"a", u"C"});
  EXPECT_EQ(list.IndexOf(u"a"), 1);
  EXPECT_EQ(list.IndexOf(u"x"), -1);
  list.Sort([](const std::u16string& x, const std::u16string& y) {
    return AsciiUpper(x).compare(AsciiUpper(y));
  });
  EXPECT_EQ(list.Items(), (std::vector<std::u16string>{u"A", u"a", u"b", u"C"}));
}

namespace {
struct Probe : TComponent {
  Probe(TComponent* owner, int& freed) : TComponent(owner), freed_(freed) {}
  ~Probe() override { ++freed_; }
  int& freed_;
};
}  // namespace

TEST(Component, OwnerFreesWhatItOwnsAndForgetsWhatWasFreedFirst) {
  int freed = 0;
  {
    TComponent owner(nullptr);
    new Probe(&owner, freed);
    delete new Probe(&owner, freed);
    EXPECT_EQ(freed, 1);
  }
  EXPECT_EQ(freed, 2);
}
