// The database half of the in-process fake: attachment, info, transactions and statements.
#include <algorithm>
#include <cstring>

#include "tests/support/fake_client_library.h"
#include "tests/support/tool_output.h"

namespace {

const ServiceOutcome kBadDatabaseHandle{-904, isc_bad_db_handle, {"invalid database handle"}};
const ServiceOutcome kBadTransactionHandle{
    -901, isc_bad_trans_handle, {"invalid transaction handle"}};
const ServiceOutcome kBadStatementHandle{-901, isc_bad_req_handle, {"invalid request handle"}};

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

void WriteValue(const FakeValue& value, XSQLVAR& var) {
  const bool null = std::holds_alternative<std::monostate>(value);
  if (var.sqlind) *var.sqlind = null ? -1 : 0;
  if (null) return;
  const int type = var.sqltype & ~1;
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (type == SQL_VARYING) {
      const auto length = static_cast<uint16_t>(text->size());
      std::memcpy(var.sqldata, &length, 2);
      std::memcpy(var.sqldata + 2, text->data(), text->size());
    } else {
      std::memset(var.sqldata, ' ', static_cast<size_t>(var.sqllen));
      std::memcpy(var.sqldata, text->data(), text->size());
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

// Firebird 3 reads whatever follows; the fake refuses an argument of another form.
const ServiceOutcome kBadInfoArguments{
    -901, isc_infunk, {"malformed fb_info_page_contents argument"}};
const ServiceOutcome kReadPastTheEnd{
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

// The transaction element of isc_start_multiple.
struct TransactionElement {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

}  // namespace

void FakeClientLibrary::Describe(const FakeResult& result, XSQLDA* sqlda) {
  sqlda->sqld = static_cast<short>(result.types.size());
  for (short i = 0; i < sqlda->sqld && i < sqlda->sqln; ++i) {
    XSQLVAR& var = sqlda->sqlvar[i];
    var.sqltype = static_cast<short>(result.types[i] | 1);
    var.sqllen = ColumnLength(result.types[i]);
    var.sqlscale = 0;
  }
}

ISC_STATUS FakeClientLibrary::TakeFailure(ISC_STATUS* status_vector,
                                          std::deque<ServiceOutcome>& failures) {
  if (failures.empty()) return 0;
  const ServiceOutcome failure = failures.front();
  failures.pop_front();
  return Fail(status_vector, failure);
}

ISC_STATUS FakeClientLibrary::CheckDatabase(ISC_STATUS* status_vector, isc_db_handle handle) {
  if (handle == 0 || handle != database_) return Fail(status_vector, kBadDatabaseHandle);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_attach_database(ISC_STATUS* status_vector, short name_length,
                                                  const ISC_SCHAR* name, isc_db_handle* db,
                                                  short dpb_length, const ISC_SCHAR* dpb_bytes) {
  calls.push_back({"isc_attach_database",
                   {{"name", Hex(std::string(name, static_cast<size_t>(name_length)))},
                    {"handle", std::to_string(*db)}}});
  database_name.assign(name, static_cast<size_t>(name_length));
  dpb.assign(dpb_bytes, static_cast<size_t>(dpb_length));
  if (*db != 0) return Fail(status_vector, kBadDatabaseHandle);
  if (const ISC_STATUS failed = TakeFailure(status_vector, attach_database_failures)) return failed;
  *db = database_ = ++last_database_;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db) {
  calls.push_back({"isc_detach_database", {{"handle", std::to_string(*db)}}});
  if (const ISC_STATUS failed = CheckDatabase(status_vector, *db)) return failed;
  *db = database_ = 0;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db,
                                                short items_length, const ISC_SCHAR* items,
                                                short buffer_length, ISC_SCHAR* buffer) {
  calls.push_back({"isc_database_info",
                   {{"items", Hex(std::string(items, static_cast<size_t>(items_length)))},
                    {"buffer_length", std::to_string(buffer_length)}}});
  if (const ISC_STATUS failed = CheckDatabase(status_vector, *db)) return failed;
  if (const ISC_STATUS failed = TakeFailure(status_vector, info_failures)) return failed;
  // As the server does: a cluster is written only when it and one byte more fit before the
  // buffer's end, else the truncation mark stands where it would have started.
  const auto room = static_cast<size_t>(buffer_length);
  std::string answer;
  bool cut = false;
  for (short i = 0; i < items_length && !cut; ++i) {
    const auto item = static_cast<unsigned char>(items[i]);
    if (item == isc_info_end) break;
    std::string value;
    unsigned char code = item;
    if (item == fb_info_page_contents) {
      const auto length = i + 2 < items_length ? VaxInteger(items + i + 1, 2) : 0;
      if (length < 1 || length > 4 || i + 2 + length >= items_length)
        return Fail(status_vector, kBadInfoArguments);
      const auto page =
          static_cast<uint32_t>(VaxInteger(items + i + 3, static_cast<short>(length)));
      i = static_cast<short>(i + 2 + length);
      pages_asked.push_back(page);
      const auto found = pages.find(page);
      if (pages_denied) {
        code = isc_info_error;
        value = ErrorValue(item, isc_adm_task_denied);
      } else if (found == pages.end()) {
        return Fail(status_vector, kReadPastTheEnd);
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
  const std::string_view request(items, static_cast<size_t>(items_length));
  if (!cut && request.find(static_cast<char>(kProtocolVersionItem)) != std::string_view::npos) {
    cut = answer.size() + 6 > room;
    answer += cut ? std::string(1, isc_info_truncated)
                  : std::string{static_cast<char>(kProtocolVersionItem), 2, 0, 17, 0};
  }
  if (!cut) answer += static_cast<char>(isc_info_end);
  answer.resize(std::min(answer.size(), room));
  std::memcpy(buffer, answer.data(), answer.size());
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                                 short count, void* teb) {
  const auto* element = static_cast<const TransactionElement*>(teb);
  calls.push_back({"isc_start_multiple", {{"count", std::to_string(count)}}});
  if (count != 1 || *tr != 0) return Fail(status_vector, kBadTransactionHandle);
  if (const ISC_STATUS failed = CheckDatabase(status_vector, *element->database)) return failed;
  tpb.assign(element->tpb, static_cast<size_t>(element->tpb_length));
  *tr = ++last_transaction_;
  ++open_transactions;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) {
  calls.push_back({"isc_commit_transaction", {{"handle", std::to_string(*tr)}}});
  if (*tr == 0) return Fail(status_vector, kBadTransactionHandle);
  if (const ISC_STATUS failed = TakeFailure(status_vector, commit_failures)) return failed;
  *tr = 0;
  --open_transactions;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_rollback_transaction(ISC_STATUS* status_vector,
                                                       isc_tr_handle* tr) {
  calls.push_back({"isc_rollback_transaction", {{"handle", std::to_string(*tr)}}});
  if (*tr == 0) return Fail(status_vector, kBadTransactionHandle);
  *tr = 0;
  --open_transactions;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_dsql_alloc_statement2(ISC_STATUS* status_vector,
                                                        isc_db_handle* db, isc_stmt_handle* stmt) {
  calls.push_back({"isc_dsql_alloc_statement2", {}});
  if (const ISC_STATUS failed = CheckDatabase(status_vector, *db)) return failed;
  *stmt = ++last_statement_;
  prepared_[*stmt] = nullptr;
  ++open_statements;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                               isc_stmt_handle* stmt, unsigned short length,
                                               const ISC_SCHAR* statement, unsigned short,
                                               XSQLDA* sqlda) {
  const std::string text(statement, length);
  calls.push_back({"isc_dsql_prepare", {{"statement", text}}});
  statements.push_back(text);
  if (*tr == 0) return Fail(status_vector, kBadTransactionHandle);
  if (!prepared_.count(*stmt)) return Fail(status_vector, kBadStatementHandle);
  for (const auto& [key, result] : results) {
    if (text.find(key) == std::string::npos) continue;
    if (result.failure) return Fail(status_vector, *result.failure);
    prepared_[*stmt] = &result;
    if (sqlda) Describe(result, sqlda);
    Succeed(status_vector);
    return 0;
  }
  return Fail(
      status_vector,
      {-204, isc_dsql_error, {"Dynamic SQL Error", "SQL error code = -204", "Table unknown"}});
}

ISC_STATUS FakeClientLibrary::isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                                                unsigned short, XSQLDA* sqlda) {
  calls.push_back({"isc_dsql_describe", {}});
  const auto found = prepared_.find(*stmt);
  if (found == prepared_.end() || !found->second) return Fail(status_vector, kBadStatementHandle);
  Describe(*found->second, sqlda);
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                               isc_stmt_handle* stmt, unsigned short,
                                               const XSQLDA*) {
  calls.push_back({"isc_dsql_execute", {}});
  if (*tr == 0) return Fail(status_vector, kBadTransactionHandle);
  const auto found = prepared_.find(*stmt);
  if (found == prepared_.end() || !found->second) return Fail(status_vector, kBadStatementHandle);
  cursors_[*stmt] = 0;
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                                             unsigned short, const XSQLDA* sqlda) {
  calls.push_back({"isc_dsql_fetch", {}});
  const auto cursor = cursors_.find(*stmt);
  if (cursor == cursors_.end()) return Fail(status_vector, kBadStatementHandle);
  if (const ISC_STATUS failed = TakeFailure(status_vector, fetch_failures)) return failed;
  const FakeResult& result = *prepared_[*stmt];
  if (cursor->second >= result.rows.size()) {
    Succeed(status_vector);
    return 100;
  }
  const std::vector<FakeValue>& row = result.rows[cursor->second++];
  for (size_t i = 0; i < row.size() && i < static_cast<size_t>(sqlda->sqld); ++i)
    WriteValue(row[i], const_cast<XSQLVAR&>(sqlda->sqlvar[i]));
  Succeed(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_dsql_free_statement(ISC_STATUS* status_vector,
                                                      isc_stmt_handle* stmt,
                                                      unsigned short option) {
  calls.push_back({"isc_dsql_free_statement", {{"option", std::to_string(option)}}});
  if (!prepared_.count(*stmt)) return Fail(status_vector, kBadStatementHandle);
  if (option == DSQL_drop) {
    prepared_.erase(*stmt);
    cursors_.erase(*stmt);
    *stmt = 0;
    --open_statements;
  }
  Succeed(status_vector);
  return 0;
}
