// The in-process client library for unit tests (the services and tool tests and the service
// fuzz targets): it records every call with its bytes and answers as the stand-in library does,
// through the same two halves (tests/support/service_double.h, database_double.h). Every other
// entry point does nothing.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ibclient/gds_library.h"
#include "tests/support/database_double.h"
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

// One call as it reached the fake: the entry point's name and its arguments by name (bytes in
// lower-case hex, numbers in decimal), as the stand-in logs them.
struct FakeCall {
  std::string name;
  std::map<std::string, std::string> arguments;
};

// The service and database calls and the status-vector look-ups answer as ServiceDouble and
// DatabaseDouble describe, as the stand-in's do; their outcome queues, answers and results
// tell the fake how to answer.
class FakeClientLibrary : public IdleClientLibrary, public ServiceDouble, public DatabaseDouble {
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
  ISC_STATUS isc_attach_database(ISC_STATUS* status_vector, short name_length,
                                 const ISC_SCHAR* name, isc_db_handle* db, short dpb_length,
                                 const ISC_SCHAR* dpb) override;
  ISC_STATUS isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db) override;
  ISC_STATUS isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db, short items_length,
                               const ISC_SCHAR* items, short buffer_length,
                               ISC_SCHAR* buffer) override;
  ISC_STATUS isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tr, short count,
                                void* teb) override;
  ISC_STATUS isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) override;
  ISC_STATUS isc_rollback_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) override;
  ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status_vector, isc_db_handle* db,
                                       isc_stmt_handle* stmt) override;
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

  // Forgets the answers, outcomes, recorded calls and both attachments; handle numbers go on.
  void Reset();

  // What reached the library.
  std::vector<FakeCall> calls;
  int attach_calls = 0;
  int start_calls = 0;
  int query_calls = 0;
  std::string service;
  std::string spb;
  std::string start_request;

 protected:
  void Record(const CallRecord& call) override;
};
