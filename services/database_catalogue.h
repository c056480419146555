// The names behind the numbers that the database's pages carry: tables by relation id, indexes
// by relation id and index id, and where each table's pointer pages and index root page are
// (RDB$PAGES), so that what is read page by page can be reported by name.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "services/database_attachment.h"

struct DatabaseCatalogue {
  // A page that RDB$PAGES lists: a table's pointer pages (pag_pointer, 4) in sequence, its index
  // root page (pag_root, 6), and the few pages of other types that the engine keeps there.
  struct ListedPage {
    int relation_id;
    uint32_t page;
    int sequence;
    int type;
  };

  // Table (and view, system ones included) names by relation id, trailing blanks removed, in the
  // attachment's character set (UTF-8).
  std::map<int, std::string> tables;
  // Index names by relation id and the index id that b-tree pages carry: RDB$INDEX_ID - 1.
  std::map<std::pair<int, int>, std::string> indexes;
  std::vector<ListedPage> listed_pages;

  // The name of a table or index, or empty when unknown.
  std::string Table(int relation_id) const;
  std::string Index(int relation_id, int index_id) const;
};

// Asks the attached server; raises when a query fails.
DatabaseCatalogue AskDatabaseCatalogue(DatabaseAttachment& attachment);
