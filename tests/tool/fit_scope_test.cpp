// What /FIT asks of the statistics action after the read-through, and how its findings read.
#include "tool/fit_scope.h"

#include <gtest/gtest.h>

#include "tool/fit_words.h"

namespace {

ReadPlan PlanWith(bool indexes_complete, std::vector<TableFit> tables) {
  ReadPlan plan;
  plan.indexes_complete = indexes_complete;
  plan.tables = std::move(tables);
  return plan;
}

TEST(FitScope, TheActionReadsNoTableTheBudgetLeftOut) {
  RelationNames names;
  names.tables = {{5, u"RDB$FIELDS"}, {128, u"ORDERS"}, {129, u"EVENTS"}, {130, u"DOCUMENTS"}};
  RelationNames without_events = names;
  without_events.tables.erase(129);
  struct Case {
    const char* what;
    ReadPlan plan;
    const RelationNames& names;
    bool data_pages;
    std::vector<std::u16string> tables;
  } cases[] = {
      {"every table fits: as without /FIT",
       PlanWith(true, {{5, 3, true}, {128, 10, true}, {129, 20, true}}),
       names,
       true,
       {}},
      {"some fit: those, in the plan's order",
       PlanWith(true, {{5, 3, true}, {129, 20, true}, {128, 10, true}, {130, 99, false}}),
       names,
       true,
       {u"EVENTS", u"ORDERS"}},
      {"only system tables fit: index pages alone",
       PlanWith(true, {{5, 3, true}, {128, 10, false}}),
       names,
       false,
       {}},
      {"a table that fits has no name: index pages alone",
       PlanWith(true, {{128, 10, true}, {129, 20, true}, {130, 99, false}}),
       without_events,
       false,
       {}},
      {"not even the index pages fit", PlanWith(false, {{128, 10, false}}), names, false, {}},
      {"no data at all", PlanWith(true, {}), names, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const StatisticsScope scope = ChooseStatisticsScope(c.plan, c.names);
    EXPECT_EQ(scope.data_pages, c.data_pages);
    EXPECT_EQ(scope.tables, c.tables);
  }
}

TEST(FitWords, TheRolesCachedAreSaidPerRoleTableAndIndex) {
  CachedByRole cached;
  cached.roles[static_cast<int>(ReportedRole::Indexes)] = {50, 50};
  cached.roles[static_cast<int>(ReportedRole::Pointers)] = {4, 4};
  cached.roles[static_cast<int>(ReportedRole::Data)] = {41, 100};
  cached.table_data[128] = {41, 41};
  cached.table_data[129] = {0, 59};
  cached.table_data[5] = {3, 3};
  cached.index_pages[{128, 0}] = {30, 30};
  cached.index_pages[{129, 1}] = {19, 20};
  RelationNames names;
  names.tables = {{5, u"RDB$FIELDS"}, {128, u"ORDERS"}, {129, u"EVENTS"}};
  names.indexes = {{{128, 0}, u"RDB$PRIMARY2"}};
  FitOutcome stored;
  stored.map_written_at = 1000;
  stored.pages_checked = 77;
  FitOutcome built;
  built.full_read = true;
  EXPECT_EQ(CachedByRoleLines(cached, names, stored, 1000 + 2 * 3600),
            (std::vector<std::string>{
                "fbwarm: Im Cache nach dem Lauf: Indexe 100 %, Zeiger 100 %, Daten 41 % "
                "(Seitenrollen aus der Karte von vor 2 Stunden, davon 77 Seiten in diesem Lauf "
                "geprueft).",
                "fbwarm:   ORDERS: Daten 100 %; Indexe RDB$PRIMARY2 100 %",
                "fbwarm:   EVENTS: Daten 0 %; Indexe Index 1 95 %",
            }));
  EXPECT_EQ(CachedByRoleLines(cached, {}, built, 0),
            (std::vector<std::string>{"fbwarm: Im Cache nach dem Lauf: Indexe 100 %, Zeiger 100 %, "
                                      "Daten 41 % (Seitenrollen aus diesem Lauf)."}));
}

TEST(FitWords, AgesAreSaidInTheLargestWholeUnit) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "gerade eben"},       {59, "gerade eben"},          {60, "vor 1 Minute"},
      {3599, "vor 59 Minuten"}, {3600, "vor 1 Stunde"},       {7200, "vor 2 Stunden"},
      {86400, "vor 1 Tag"},     {10 * 86400, "vor 10 Tagen"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(AgeText(seconds), text) << seconds;
}

TEST(FitWords, TheBudgetSaysWhereItCameFromAndWhetherTheRunKeptToIt) {
  FitOutcome fit;
  fit.found = MapStatus::Stale;
  fit.full_read = true;
  fit.budget_bytes = 512ull << 20;
  fit.budget_source = BudgetSource::CacheRoom;
  const std::vector<std::string> lines = FitReadLines(fit, 3'000'000'000ull, 0);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "fbwarm: FIT: Budget 512 MiB (Platz des Dateicaches), Datei 3.0 GB.");
  EXPECT_NE(lines[1].find("ihre Seitenkarte ist veraltet"), std::string::npos) << lines[1];

  StatisticsScope tables{true, {u"A", u"B"}};
  EXPECT_EQ(
      FitStatisticsLines(tables, {1'000'000, 5'000'000, 6'000'000}, 4 << 20),
      (std::vector<std::string>{
          "fbwarm: FIT: Der Statistiklauf las Daten- und Indexseiten von 2 Tabellen (A, B) und "
          "brachte 1.0 MB in den Cache; der ganze Lauf brachte 5.0 MB von 4 MiB Budget "
          "(ueberschritten)."}));
  // Without a residency answer, nothing is claimed about the cache.
  EXPECT_EQ(
      FitStatisticsLines({false, {}}, {std::nullopt, 1, 2}, 4 << 20),
      (std::vector<std::string>{"fbwarm: FIT: Der Statistiklauf las Indexseiten aller Tabellen."}));
}

}  // namespace
