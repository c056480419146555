#include "services/database_catalogue.h"

#include "ibclient/errors.h"

namespace {

int64_t Number(const SqlValue& value, std::u16string_view what) {
  const auto* number = std::get_if<int64_t>(&value);
  if (!number) RaiseUnexpectedAnswer(what);
  return *number;
}

// CHAR names come padded with blanks.
std::string Name(const SqlValue& value, std::u16string_view what) {
  const auto* text = std::get_if<std::string>(&value);
  if (!text) RaiseUnexpectedAnswer(what);
  const size_t end = text->find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text->substr(0, end + 1);
}

void CheckColumns(const SqlRow& row, size_t columns, std::u16string_view what) {
  if (row.size() != columns) RaiseUnexpectedAnswer(what);
}

}  // namespace

std::string DatabaseCatalogue::Table(int relation_id) const {
  const auto found = tables.find(relation_id);
  return found == tables.end() ? std::string() : found->second;
}

std::string DatabaseCatalogue::Index(int relation_id, int index_id) const {
  const auto found = indexes.find({relation_id, index_id});
  return found == indexes.end() ? std::string() : found->second;
}

DatabaseCatalogue AskDatabaseCatalogue(DatabaseAttachment& attachment) {
  DatabaseCatalogue catalogue;
  for (const SqlRow& row :
       attachment.Query("SELECT RDB$RELATION_ID, RDB$RELATION_NAME FROM RDB$RELATIONS "
                        "WHERE RDB$RELATION_ID IS NOT NULL")) {
    CheckColumns(row, 2, u"RDB$RELATIONS");
    catalogue.tables[static_cast<int>(Number(row[0], u"RDB$RELATIONS"))] =
        Name(row[1], u"RDB$RELATIONS");
  }
  // An index that is still being made has no id yet.
  for (const SqlRow& row : attachment.Query(
           "SELECT r.RDB$RELATION_ID, i.RDB$INDEX_ID, i.RDB$INDEX_NAME FROM RDB$INDICES i "
           "JOIN RDB$RELATIONS r ON r.RDB$RELATION_NAME = i.RDB$RELATION_NAME "
           "WHERE i.RDB$INDEX_ID IS NOT NULL AND r.RDB$RELATION_ID IS NOT NULL")) {
    CheckColumns(row, 3, u"RDB$INDICES");
    const auto relation = static_cast<int>(Number(row[0], u"RDB$INDICES"));
    const auto id = static_cast<int>(Number(row[1], u"RDB$INDICES")) - 1;
    catalogue.indexes[{relation, id}] = Name(row[2], u"RDB$INDICES");
  }
  for (const SqlRow& row :
       attachment.Query("SELECT RDB$RELATION_ID, RDB$PAGE_NUMBER, RDB$PAGE_SEQUENCE, "
                        "RDB$PAGE_TYPE FROM RDB$PAGES ORDER BY RDB$PAGE_NUMBER")) {
    CheckColumns(row, 4, u"RDB$PAGES");
    catalogue.listed_pages.push_back({static_cast<int>(Number(row[0], u"RDB$PAGES")),
                                      static_cast<uint32_t>(Number(row[1], u"RDB$PAGES")),
                                      static_cast<int>(Number(row[2], u"RDB$PAGES")),
                                      static_cast<int>(Number(row[3], u"RDB$PAGES"))});
  }
  return catalogue;
}
