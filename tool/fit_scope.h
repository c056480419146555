// The decisions /FIT takes after the read-through: what the statistics action is asked for,
// so that it reads no more than the budget allowed, and what the file cache holds by page role.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pages/page_map.h"
#include "pages/read_plan.h"
#include "platform/residency.h"
#include "tool/fit_facts.h"

// Every table's data fits the plan: the request as without /FIT. Some tables fit and all of
// them have names: data and index pages of those tables. Otherwise index pages alone, of
// every table.
StatisticsScope ChooseStatisticsScope(const ReadPlan& plan, const RelationNames& names);

// The share of each role's pages (and of each table's data and each index) that residency
// says the cache holds now. Only meaningful with a trusted residency.
CachedByRole MeasureCachedByRole(FileResidency& residency, const PageMap& map);
