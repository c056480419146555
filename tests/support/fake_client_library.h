// The in-process client library for unit tests (the services tests and the service fuzz
// targets): it records every service call with its bytes and answers as the stand-in library
// does (tests/support/service_double.h). A database attachment gets info answers and query
// results the test sets up. Every other entry point does nothing.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ibclient/gds_library.h"
#include "tests/support/service_double.h"

template <class... Arguments>
void IgnoreArguments(const Arguments&...) {}

// Every operation succeeds and does nothing.
class IdleClientLibrary : public IGDSLibrary {
 public:
  void LoadIBLibrary() override {}
  void FreeIBLibrary() override {}
  bool TryIBLoad() override { return true; }
  void CheckIBLoaded() override {}
  double GetIBClientVersion() override { return 6.3; }
  int64_t ClientVersion() const override { return 63000; }

#define IDLE_OPERATION(result, name, params, args) \
  result name params override {                    \
    IgnoreArguments args;                          \
    return result();                               \
  }
  GDS_ENTRY_POINTS(IDLE_OPERATION)
#undef IDLE_OPERATION
  ISC_LONG isc_event_block(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT, const ISC_SCHAR* const*) override {
    return 0;
  }
};

// One isc_service_* call as it reached the fake: the entry point's name and its arguments by
// name (bytes in lower-case hex, numbers in decimal), as the stand-in logs them.
struct FakeCall {
  std::string name;
  std::map<std::string, std::string> arguments;
};

// One value of a scripted result row: NULL, a number or text.
using FakeValue = std::variant<std::monostate, int64_t, std::string>;

// The result of a statement: the column types (SQL_INT64, SQL_VARYING, SQL_BOOLEAN, ... as
// ibase.h numbers them, all nullable) and the rows; or a failure of its prepare.
struct FakeResult {
  FakeResult(std::vector<short> column_types, std::vector<std::vector<FakeValue>> result_rows = {})
      : types(std::move(column_types)), rows(std::move(result_rows)) {}
  explicit FakeResult(ServiceOutcome prepare_failure) : failure(std::move(prepare_failure)) {}

  std::vector<short> types;
  std::vector<std::vector<FakeValue>> rows;
  std::optional<ServiceOutcome> failure;
};

// The service calls and status-vector look-ups answer as ServiceDouble describes, as the
// stand-in's do; its outcome queues and Add* calls tell the fake how to answer.
class FakeClientLibrary : public IdleClientLibrary, public ServiceDouble {
 public:
  ISC_STATUS isc_service_attach(ISC_STATUS* status_vector, unsigned short service_length,
                                const ISC_SCHAR* service, isc_svc_handle* handle,
                                unsigned short spb_length, const ISC_SCHAR* spb) override;
  ISC_STATUS isc_service_detach(ISC_STATUS* status_vector, isc_svc_handle* handle) override;
  ISC_STATUS isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* handle,
                               isc_resv_handle* recv_handle, unsigned short request_length,
                               const ISC_SCHAR* request) override;
  ISC_STATUS isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* handle,
                               isc_resv_handle* recv_handle, unsigned short send_length,
                               const ISC_SCHAR* send_items, unsigned short request_length,
                               const ISC_SCHAR* request_items, unsigned short buffer_length,
                               ISC_SCHAR* buffer) override;
  // The database calls: an attachment needs an empty handle and gets 1001, 1002, ...; the
  // calls on it need the current one, else they fail with isc_bad_db_handle.
  ISC_STATUS isc_attach_database(ISC_STATUS* status_vector, short name_length,
                                 const ISC_SCHAR* name, isc_db_handle* db, short dpb_length,
                                 const ISC_SCHAR* dpb) override;
  ISC_STATUS isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db) override;
  // Answers each requested item from info_values (isc_info_error with isc_infunk for the
  // others), fb_info_page_contents from pages; cut with isc_info_truncated where the next
  // item and one byte more would not fit the caller's buffer, as the engine does. A request
  // that holds the byte 137 anywhere ends its answer with fb_info_protocol_version, or is cut
  // where that does not fit, as Firebird 4's remote layers do.
  ISC_STATUS isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db, short items_length,
                               const ISC_SCHAR* items, short buffer_length,
                               ISC_SCHAR* buffer) override;
  ISC_STATUS isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tr, short count,
                                void* teb) override;
  ISC_STATUS isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) override;
  ISC_STATUS isc_rollback_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) override;
  ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status_vector, isc_db_handle* db,
                                       isc_stmt_handle* stmt) override;
  // Takes the first result whose key is part of the statement's text; a statement without
  // one fails as an unknown table does.
  ISC_STATUS isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tr, isc_stmt_handle* stmt,
                              unsigned short length, const ISC_SCHAR* statement,
                              unsigned short dialect, XSQLDA* sqlda) override;
  ISC_STATUS isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                               unsigned short dialect, XSQLDA* sqlda) override;
  ISC_STATUS isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tr, isc_stmt_handle* stmt,
                              unsigned short dialect, const XSQLDA* sqlda) override;
  ISC_STATUS isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                            unsigned short dialect, const XSQLDA* sqlda) override;
  ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                                     unsigned short option) override;
  ISC_LONG isc_sqlcode(const ISC_STATUS* status_vector) override;
  ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) override;
  ISC_LONG isc_vax_integer(const ISC_SCHAR* buffer, short length) override;

  // Forgets the answers, outcomes, recorded calls and the attachment; handle numbers go on.
  void Reset();

  // What the database calls answer. The results are looked up in order of their keys.
  std::map<unsigned char, std::string> info_values;
  // fb_info_page_contents (item, 2-byte length, page number in that many bytes): the contents
  // of each page by number; a page not listed fails the call as a read past the end of the
  // file does. With pages_denied the item is answered with isc_adm_task_denied instead.
  std::map<uint32_t, std::string> pages;
  bool pages_denied = false;
  // The page numbers asked for, in order.
  std::vector<uint32_t> pages_asked;
  std::vector<std::pair<std::string, FakeResult>> results;
  // The next calls of each kind fail with these, in order; a fetch failure ends a cursor.
  std::deque<ServiceOutcome> attach_database_failures;
  std::deque<ServiceOutcome> info_failures;
  std::deque<ServiceOutcome> fetch_failures;
  std::deque<ServiceOutcome> commit_failures;
  // What reached them: the database name and DPB of the last attach, the TPB of the last
  // transaction, the statements prepared; and what is still open.
  std::string database_name;
  std::string dpb;
  std::string tpb;
  std::vector<std::string> statements;
  int open_transactions = 0;
  int open_statements = 0;

  // What reached the library.
  std::vector<FakeCall> calls;
  int attach_calls = 0;
  int start_calls = 0;
  int query_calls = 0;
  std::string service;
  std::string spb;
  std::string start_request;

 protected:
  void Record(const ServiceCallRecord& call) override;

 private:
  ISC_STATUS CheckDatabase(ISC_STATUS* status_vector, isc_db_handle handle);
  ISC_STATUS TakeFailure(ISC_STATUS* status_vector, std::deque<ServiceOutcome>& failures);
  static void Describe(const FakeResult& result, XSQLDA* sqlda);

  isc_db_handle database_ = 0;
  isc_db_handle last_database_ = 1000;
  isc_tr_handle last_transaction_ = 0;
  isc_stmt_handle last_statement_ = 0;
  // The result each prepared statement has, and the next row of its open cursor.
  std::map<isc_stmt_handle, const FakeResult*> prepared_;
  std::map<isc_stmt_handle, size_t> cursors_;
};
