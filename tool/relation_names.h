// The names of tables and indexes by the numbers their pages carry, asked of the database
// itself: what /FIT needs to name tables to the statistics action and to the operator.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ibclient/gds_library.h"
#include "tool/fit_facts.h"
#include "tool/run_target.h"

struct RelationNamesAnswer {
  RelationNames names;
  std::optional<std::u16string> failure;  // the names could not be asked: why
};

// Asks over one attachment of its own; a failure leaves the names empty and says why.
RelationNamesAnswer AskRelationNames(std::shared_ptr<IGDSLibrary> library,
                                     const ServerTarget& target);
