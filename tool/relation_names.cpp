#include "tool/relation_names.h"

#include <new>
#include <variant>

#include "base/exceptions.h"
#include "platform/text_encoding.h"
#include "services/database_attachment.h"

namespace {

// RDB$INDEX_ID counts from 1; the index's pages carry it counted from 0.
constexpr char kTablesQuery[] =
    "SELECT RDB$RELATION_ID, TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS "
    "WHERE RDB$RELATION_ID IS NOT NULL";
constexpr char kIndexesQuery[] =
    "SELECT R.RDB$RELATION_ID, I.RDB$INDEX_ID - 1, TRIM(I.RDB$INDEX_NAME) "
    "FROM RDB$INDICES I JOIN RDB$RELATIONS R ON R.RDB$RELATION_NAME = I.RDB$RELATION_NAME "
    "WHERE I.RDB$INDEX_ID IS NOT NULL AND R.RDB$RELATION_ID IS NOT NULL";

std::optional<int64_t> Number(const SqlValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) return *number;
  return std::nullopt;
}

std::optional<std::u16string> Name(const SqlValue& value) {
  std::u16string name;
  if (const auto* text = std::get_if<std::string>(&value); text && DecodeUtf8(*text, name))
    return name;
  return std::nullopt;
}

RelationNames Ask(DatabaseAttachment& attachment) {
  RelationNames names;
  for (const SqlRow& row : attachment.Query(kTablesQuery)) {
    const auto id = Number(row.at(0));
    const auto name = Name(row.at(1));
    if (id && name && *id >= 0 && *id < 0xFFFF) names.tables[static_cast<uint16_t>(*id)] = *name;
  }
  for (const SqlRow& row : attachment.Query(kIndexesQuery)) {
    const auto relation = Number(row.at(0));
    const auto index = Number(row.at(1));
    const auto name = Name(row.at(2));
    if (relation && index && name && *relation >= 0 && *relation < 0xFFFF && *index >= 0 &&
        *index < 0xFF)
      names.indexes[{static_cast<uint16_t>(*relation), static_cast<uint8_t>(*index)}] = *name;
  }
  return names;
}

}  // namespace

RelationNamesAnswer AskRelationNames(std::shared_ptr<IGDSLibrary> library,
                                     const ServerTarget& target) {
  RelationNamesAnswer answer;
  try {
    DatabaseAttachment attachment(
        std::move(library), {target.server, target.database.path, target.user, target.password});
    answer.names = Ask(attachment);
  } catch (const Exception& e) {
    answer.failure = e.Message();
  } catch (const std::bad_alloc&) {
    answer.failure = EOutOfMemory().Message();
  }
  return answer;
}
