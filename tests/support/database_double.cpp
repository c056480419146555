#include "tests/support/database_double.h"

#include <algorithm>
#include <cstring>

#include "tests/support/tool_output.h"

namespace {

const CallOutcome kBadDatabaseHandle{-904, isc_bad_db_handle, {"invalid database handle"}};
const CallOutcome kBadTransactionHandle{-901, isc_bad_trans_handle, {"invalid transaction handle"}};
const CallOutcome kBadStatementHandle{-901, isc_bad_req_handle, {"invalid request handle"}};
const CallOutcome kUnknownTable{
    -204, isc_dsql_error, {"Dynamic SQL Error", "SQL error code = -204", "Table unknown"}};

std::string HexOf(std::string_view bytes) { return Hex(std::string(bytes)); }

short ColumnLength(short type) {
  switch (type) {
    case SQL_SHORT:
      return 2;
    case SQL_LONG:
      return 4;
    case SQL_BOOLEAN:
      return 1;
    case SQL_TEXT:
    case SQL_VARYING:
      return 64;
    default:
      return 8;
  }
}

void WriteValue(const ScriptedValue& value, XSQLVAR& var) {
  const bool null = std::holds_alternative<std::monostate>(value);
  if (var.sqlind) *var.sqlind = null ? -1 : 0;
  if (null) return;
  const int type = var.sqltype & ~1;
  if (const auto* text = std::get_if<std::string>(&value)) {
    // Longer text is cut at the column's length, as the column holds no more.
    const size_t length = std::min(text->size(), static_cast<size_t>(var.sqllen));
    if (type == SQL_VARYING) {
      const auto count = static_cast<uint16_t>(length);
      std::memcpy(var.sqldata, &count, 2);
      std::memcpy(var.sqldata + 2, text->data(), length);
    } else {
      std::memset(var.sqldata, ' ', static_cast<size_t>(var.sqllen));
      std::memcpy(var.sqldata, text->data(), length);
    }
    return;
  }
  const int64_t number = std::get<int64_t>(value);
  if (type == SQL_SHORT) {
    const auto v = static_cast<int16_t>(number);
    std::memcpy(var.sqldata, &v, 2);
  } else if (type == SQL_LONG) {
    const auto v = static_cast<int32_t>(number);
    std::memcpy(var.sqldata, &v, 4);
  } else if (type == SQL_BOOLEAN) {
    var.sqldata[0] = number != 0;
  } else {
    std::memcpy(var.sqldata, &number, 8);
  }
}

// fb_info_protocol_version of Firebird 4, which its remote layers answer themselves.
constexpr unsigned char kProtocolVersionItem = 137;

// Firebird 3 reads whatever follows; the doubles refuse an argument of another form.
const CallOutcome kBadInfoArguments{-901, isc_infunk, {"malformed fb_info_page_contents argument"}};
const CallOutcome kReadPastTheEnd{
    -902,
    isc_io_error,
    {"I/O error during \"read\" operation for file \"/srv/db/main.fdb\"",
     "File size is less than expected"}};

// The value of an isc_info_error cluster: the item asked for and the error's code.
std::string ErrorValue(unsigned char item, ISC_STATUS code) {
  std::string value(1, static_cast<char>(item));
  for (int shift = 0; shift < 32; shift += 8)
    value += static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
  return value;
}

// A little-endian number of 1 to 4 bytes.
uint32_t LittleEndian(std::string_view bytes) {
  uint32_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

// The transaction element of isc_start_multiple.
struct TransactionElement {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

}  // namespace

void DatabaseDouble::DescribeResult(const ScriptedResult& result, XSQLDA* sqlda) {
  sqlda->sqld = static_cast<short>(result.types.size());
  for (short i = 0; i < sqlda->sqld && i < sqlda->sqln; ++i) {
    XSQLVAR& var = sqlda->sqlvar[i];
    var.sqltype = static_cast<short>(result.types[i] | 1);
    var.sqllen = ColumnLength(result.types[i]);
    var.sqlscale = 0;
  }
}

ISC_STATUS DatabaseDouble::CheckDatabase(ISC_STATUS* status, isc_db_handle handle) {
  if (handle == 0 || handle != database_) return Fail(status, kBadDatabaseHandle);
  return 0;
}

void DatabaseDouble::ResetDatabase() {
  info_values.clear();
  pages.clear();
  pages_denied = false;
  pages_asked.clear();
  results.clear();
  attach_database_outcomes.clear();
  info_outcomes.clear();
  fetch_outcomes.clear();
  commit_outcomes.clear();
  statements.clear();
  prepared_.clear();
  cursors_.clear();
  database_ = 0;
}

ISC_STATUS DatabaseDouble::AttachDatabase(ISC_STATUS* status, std::string_view name,
                                          isc_db_handle* db, std::string_view dpb_bytes) {
  Record(CallRecord{
      "isc_attach_database",
      {{"name", HexOf(name)}, {"dpb", HexOf(dpb_bytes)}, {"handle", std::to_string(*db)}}});
  database_name = name;
  dpb = dpb_bytes;
  if (*db != 0) return Fail(status, kBadDatabaseHandle);
  if (const ISC_STATUS failed = TakeOutcome(status, attach_database_outcomes)) return failed;
  *db = database_ = ++last_database_;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::DetachDatabase(ISC_STATUS* status, isc_db_handle* db) {
  Record(CallRecord{"isc_detach_database", {{"handle", std::to_string(*db)}}});
  if (const ISC_STATUS failed = CheckDatabase(status, *db)) return failed;
  *db = database_ = 0;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::DatabaseInfo(ISC_STATUS* status, isc_db_handle* db,
                                        std::string_view items, short buffer_length,
                                        ISC_SCHAR* buffer) {
  Record(CallRecord{"isc_database_info",
                    {{"handle", std::to_string(*db)},
                     {"items", HexOf(items)},
                     {"buffer_length", std::to_string(buffer_length)}}});
  if (const ISC_STATUS failed = CheckDatabase(status, *db)) return failed;
  if (const ISC_STATUS failed = TakeOutcome(status, info_outcomes)) return failed;
  // As the server does: a cluster is written only when it and one byte more fit before the
  // buffer's end, else the truncation mark stands where it would have started.
  const auto room = static_cast<size_t>(std::max<short>(buffer_length, 0));
  std::string answer;
  bool cut = false;
  for (size_t i = 0; i < items.size() && !cut; ++i) {
    const auto item = static_cast<unsigned char>(items[i]);
    if (item == isc_info_end) break;
    std::string value;
    unsigned char code = item;
    if (item == fb_info_page_contents) {
      const uint32_t length = i + 2 < items.size() ? LittleEndian(items.substr(i + 1, 2)) : 0;
      if (length < 1 || length > 4 || i + 2 + length >= items.size())
        return Fail(status, kBadInfoArguments);
      const uint32_t page = LittleEndian(items.substr(i + 3, length));
      i += 2 + length;
      pages_asked.push_back(page);
      const auto found = pages.find(page);
      if (pages_denied) {
        code = isc_info_error;
        value = ErrorValue(item, isc_adm_task_denied);
      } else if (found == pages.end()) {
        return Fail(status, kReadPastTheEnd);
      } else {
        value = found->second;
      }
    } else if (const auto found = info_values.find(item); found != info_values.end()) {
      value = found->second;
    } else {
      code = isc_info_error;
      value = ErrorValue(item, isc_infunk);
    }
    cut = answer.size() + 3 + value.size() + 1 >= room;
    if (cut) {
      answer += static_cast<char>(isc_info_truncated);
      break;
    }
    answer += static_cast<char>(code);
    answer += static_cast<char>(value.size() & 0xFF);
    answer += static_cast<char>(value.size() >> 8);
    answer += value;
  }
  if (!cut && items.find(static_cast<char>(kProtocolVersionItem)) != std::string_view::npos) {
    cut = answer.size() + 6 > room;
    answer += cut ? std::string(1, isc_info_truncated)
                  : std::string{static_cast<char>(kProtocolVersionItem), 2, 0, 17, 0};
  }
  if (!cut) answer += static_cast<char>(isc_info_end);
  answer.resize(std::min(answer.size(), room));
  std::memcpy(buffer, answer.data(), answer.size());
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::StartMultiple(ISC_STATUS* status, isc_tr_handle* tr, short count,
                                         void* teb) {
  Record(CallRecord{"isc_start_multiple",
                    {{"handle", std::to_string(*tr)}, {"count", std::to_string(count)}}});
  if (count != 1 || *tr != 0) return Fail(status, kBadTransactionHandle);
  const auto* element = static_cast<const TransactionElement*>(teb);
  if (const ISC_STATUS failed = CheckDatabase(status, *element->database)) return failed;
  tpb.assign(element->tpb, static_cast<size_t>(element->tpb_length));
  *tr = ++last_transaction_;
  ++open_transactions;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::CommitTransaction(ISC_STATUS* status, isc_tr_handle* tr) {
  Record(CallRecord{"isc_commit_transaction", {{"handle", std::to_string(*tr)}}});
  if (*tr == 0) return Fail(status, kBadTransactionHandle);
  if (const ISC_STATUS failed = TakeOutcome(status, commit_outcomes)) return failed;
  *tr = 0;
  --open_transactions;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::RollbackTransaction(ISC_STATUS* status, isc_tr_handle* tr) {
  Record(CallRecord{"isc_rollback_transaction", {{"handle", std::to_string(*tr)}}});
  if (*tr == 0) return Fail(status, kBadTransactionHandle);
  *tr = 0;
  --open_transactions;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::AllocateStatement(ISC_STATUS* status, isc_db_handle* db,
                                             isc_stmt_handle* stmt) {
  Record(CallRecord{"isc_dsql_alloc_statement2", {{"handle", std::to_string(*db)}}});
  if (const ISC_STATUS failed = CheckDatabase(status, *db)) return failed;
  *stmt = ++last_statement_;
  prepared_[*stmt] = nullptr;
  ++open_statements;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::Prepare(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt,
                                   std::string_view statement, XSQLDA* sqlda) {
  Record(CallRecord{"isc_dsql_prepare",
                    {{"handle", std::to_string(*stmt)}, {"statement", HexOf(statement)}}});
  const std::string text(statement);
  statements.push_back(text);
  if (*tr == 0) return Fail(status, kBadTransactionHandle);
  if (!prepared_.count(*stmt)) return Fail(status, kBadStatementHandle);
  for (const auto& [key, result] : results) {
    if (text.find(key) == std::string::npos) continue;
    if (result.failure) return Fail(status, *result.failure);
    prepared_[*stmt] = &result;
    if (sqlda) DescribeResult(result, sqlda);
    return Succeed(status);
  }
  return Fail(status, kUnknownTable);
}

ISC_STATUS DatabaseDouble::Describe(ISC_STATUS* status, isc_stmt_handle* stmt, XSQLDA* sqlda) {
  Record(CallRecord{"isc_dsql_describe", {{"handle", std::to_string(*stmt)}}});
  const auto found = prepared_.find(*stmt);
  if (found == prepared_.end() || !found->second) return Fail(status, kBadStatementHandle);
  DescribeResult(*found->second, sqlda);
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::Execute(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt) {
  Record(CallRecord{"isc_dsql_execute", {{"handle", std::to_string(*stmt)}}});
  if (*tr == 0) return Fail(status, kBadTransactionHandle);
  const auto found = prepared_.find(*stmt);
  if (found == prepared_.end() || !found->second) return Fail(status, kBadStatementHandle);
  cursors_[*stmt] = 0;
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::Fetch(ISC_STATUS* status, isc_stmt_handle* stmt, const XSQLDA* sqlda) {
  Record(CallRecord{"isc_dsql_fetch", {{"handle", std::to_string(*stmt)}}});
  const auto cursor = cursors_.find(*stmt);
  if (cursor == cursors_.end()) return Fail(status, kBadStatementHandle);
  if (const ISC_STATUS failed = TakeOutcome(status, fetch_outcomes)) return failed;
  const ScriptedResult& result = *prepared_[*stmt];
  if (cursor->second >= result.rows.size()) {
    Succeed(status);
    return 100;  // no more rows
  }
  const std::vector<ScriptedValue>& row = result.rows[cursor->second++];
  for (size_t i = 0; i < row.size() && i < static_cast<size_t>(sqlda->sqld); ++i)
    WriteValue(row[i], const_cast<XSQLVAR&>(sqlda->sqlvar[i]));
  return Succeed(status);
}

ISC_STATUS DatabaseDouble::FreeStatement(ISC_STATUS* status, isc_stmt_handle* stmt,
                                         unsigned short option) {
  Record(CallRecord{"isc_dsql_free_statement",
                    {{"handle", std::to_string(*stmt)}, {"option", std::to_string(option)}}});
  if (!prepared_.count(*stmt)) return Fail(status, kBadStatementHandle);
  if (option == DSQL_drop) {
    prepared_.erase(*stmt);
    cursors_.erase(*stmt);
    *stmt = 0;
    --open_statements;
  }
  return Succeed(status);
}
