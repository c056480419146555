// The database half of the client library's test doubles (client_double.h): an attachment,
// its info items, read-only transactions and statements with scripted results.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/client_double.h"

// One value of a scripted result row: NULL, a number or text.
using ScriptedValue = std::variant<std::monostate, int64_t, std::string>;

// The result of a statement: the column types (SQL_INT64, SQL_VARYING, SQL_BOOLEAN, ... as
// ibase.h numbers them, all nullable) and the rows; or a failure of its prepare.
struct ScriptedResult {
  ScriptedResult(std::vector<short> column_types,
                 std::vector<std::vector<ScriptedValue>> result_rows = {})
      : types(std::move(column_types)), rows(std::move(result_rows)) {}
  explicit ScriptedResult(CallOutcome prepare_failure) : failure(std::move(prepare_failure)) {}

  std::vector<short> types;
  std::vector<std::vector<ScriptedValue>> rows;
  std::optional<CallOutcome> failure;
};

// A database attachment as both doubles play it. isc_attach_database needs an empty handle and
// gives 1001, 1002, ...; the calls on it need the current one, else they fail with
// isc_bad_db_handle. Transactions and statements get handles 1, 2, 3, ...
class DatabaseDouble : public virtual ClientDouble {
 public:
  // What the database calls answer. isc_database_info answers each requested item from
  // info_values (isc_info_error with isc_infunk for the others), cut with isc_info_truncated
  // where the next item and one byte more would not fit the caller's buffer, as the engine does. A
  // prepared statement takes the first result whose key is part of its text; a statement without
  // one fails as an unknown table does.
  std::map<unsigned char, std::string> info_values;
  // fb_info_page_contents (item, 2-byte length, page number in that many bytes) is answered
  // from pages by number; a page not listed fails the call as a read past the end of the file
  // does. With pages_denied the item is answered with isc_adm_task_denied instead. A request
  // that holds the byte 137 anywhere ends its answer with fb_info_protocol_version, or is cut
  // where that does not fit, as Firebird 4's remote layers do.
  std::map<uint32_t, std::string> pages;
  bool pages_denied = false;
  // The page numbers asked for, in order.
  std::vector<uint32_t> pages_asked;
  std::vector<std::pair<std::string, ScriptedResult>> results;
  // The coming outcomes of each kind of call, used in order; once a kind has none left, its
  // calls succeed. A failed fetch ends its cursor.
  std::deque<CallOutcome> attach_database_outcomes;
  std::deque<CallOutcome> info_outcomes;
  std::deque<CallOutcome> fetch_outcomes;
  std::deque<CallOutcome> commit_outcomes;

  // What reached the calls: the database name and DPB of the last attach, the TPB of the last
  // transaction, the statements prepared; and what is still open.
  std::string database_name;
  std::string dpb;
  std::string tpb;
  std::vector<std::string> statements;
  int open_transactions = 0;
  int open_statements = 0;

  // Forgets the answers, the outcomes, the statements and the attachment; handle numbers go on.
  void ResetDatabase();

  // The database calls, each recorded before it is answered, with the arguments of the entry
  // points of the same names.
  ISC_STATUS AttachDatabase(ISC_STATUS* status, std::string_view name, isc_db_handle* db,
                            std::string_view dpb_bytes);
  ISC_STATUS DetachDatabase(ISC_STATUS* status, isc_db_handle* db);
  ISC_STATUS DatabaseInfo(ISC_STATUS* status, isc_db_handle* db, std::string_view items,
                          short buffer_length, ISC_SCHAR* buffer);
  ISC_STATUS StartMultiple(ISC_STATUS* status, isc_tr_handle* tr, short count, void* teb);
  ISC_STATUS CommitTransaction(ISC_STATUS* status, isc_tr_handle* tr);
  ISC_STATUS RollbackTransaction(ISC_STATUS* status, isc_tr_handle* tr);
  ISC_STATUS AllocateStatement(ISC_STATUS* status, isc_db_handle* db, isc_stmt_handle* stmt);
  ISC_STATUS Prepare(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt,
                     std::string_view statement, XSQLDA* sqlda);
  ISC_STATUS Describe(ISC_STATUS* status, isc_stmt_handle* stmt, XSQLDA* sqlda);
  ISC_STATUS Execute(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt);
  ISC_STATUS Fetch(ISC_STATUS* status, isc_stmt_handle* stmt, const XSQLDA* sqlda);
  ISC_STATUS FreeStatement(ISC_STATUS* status, isc_stmt_handle* stmt, unsigned short option);

 private:
  ISC_STATUS CheckDatabase(ISC_STATUS* status, isc_db_handle handle);
  static void DescribeResult(const ScriptedResult& result, XSQLDA* sqlda);

  isc_db_handle database_ = 0;
  isc_db_handle last_database_ = 1000;
  isc_tr_handle last_transaction_ = 0;
  isc_stmt_handle last_statement_ = 0;
  // The result each prepared statement has, and the next row of its open cursor.
  std::map<isc_stmt_handle, const ScriptedResult*> prepared_;
  std::map<isc_stmt_handle, size_t> cursors_;
};
