#include "tests/support/fake_client_library.h"

ISC_STATUS FakeClientLibrary::isc_service_attach(ISC_STATUS* status_vector,
                                                 unsigned short service_length,
                                                 const ISC_SCHAR* service_name,
                                                 isc_svc_handle* handle, unsigned short spb_length,
                                                 const ISC_SCHAR* spb_bytes) {
  ++attach_calls;
  service.assign(service_name, service_length);
  spb.assign(spb_bytes, spb_length);
  return Attach(status_vector, service, handle, spb);
}

ISC_STATUS FakeClientLibrary::isc_service_detach(ISC_STATUS* status_vector,
                                                 isc_svc_handle* handle) {
  return Detach(status_vector, handle);
}

ISC_STATUS FakeClientLibrary::isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short request_length,
                                                const ISC_SCHAR* request) {
  ++start_calls;
  start_request.assign(request, request_length);
  return Start(status_vector, handle, start_request);
}

ISC_STATUS FakeClientLibrary::isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short send_length,
                                                const ISC_SCHAR* send_items,
                                                unsigned short request_length,
                                                const ISC_SCHAR* request_items,
                                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  ++query_calls;
  return Query(status_vector, handle, {send_items, send_length}, {request_items, request_length},
               buffer_length, buffer);
}

ISC_STATUS FakeClientLibrary::isc_attach_database(ISC_STATUS* status_vector, short name_length,
                                                  const ISC_SCHAR* name, isc_db_handle* db,
                                                  short dpb_length, const ISC_SCHAR* dpb_bytes) {
  return AttachDatabase(status_vector, {name, static_cast<size_t>(name_length)}, db,
                        {dpb_bytes, static_cast<size_t>(dpb_length)});
}

ISC_STATUS FakeClientLibrary::isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db) {
  return DetachDatabase(status_vector, db);
}

ISC_STATUS FakeClientLibrary::isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db,
                                                short items_length, const ISC_SCHAR* items,
                                                short buffer_length, ISC_SCHAR* buffer) {
  return DatabaseInfo(status_vector, db, {items, static_cast<size_t>(items_length)}, buffer_length,
                      buffer);
}

ISC_STATUS FakeClientLibrary::isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                                 short count, void* teb) {
  return StartMultiple(status_vector, tr, count, teb);
}

ISC_STATUS FakeClientLibrary::isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tr) {
  return CommitTransaction(status_vector, tr);
}

ISC_STATUS FakeClientLibrary::isc_rollback_transaction(ISC_STATUS* status_vector,
                                                       isc_tr_handle* tr) {
  return RollbackTransaction(status_vector, tr);
}

ISC_STATUS FakeClientLibrary::isc_dsql_alloc_statement2(ISC_STATUS* status_vector,
                                                        isc_db_handle* db, isc_stmt_handle* stmt) {
  return AllocateStatement(status_vector, db, stmt);
}

ISC_STATUS FakeClientLibrary::isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                               isc_stmt_handle* stmt, unsigned short length,
                                               const ISC_SCHAR* statement, unsigned short,
                                               XSQLDA* sqlda) {
  return Prepare(status_vector, tr, stmt, {statement, length}, sqlda);
}

ISC_STATUS FakeClientLibrary::isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                                                unsigned short, XSQLDA* sqlda) {
  return Describe(status_vector, stmt, sqlda);
}

ISC_STATUS FakeClientLibrary::isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tr,
                                               isc_stmt_handle* stmt, unsigned short,
                                               const XSQLDA*) {
  return Execute(status_vector, tr, stmt);
}

ISC_STATUS FakeClientLibrary::isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt,
                                             unsigned short, const XSQLDA* sqlda) {
  return Fetch(status_vector, stmt, sqlda);
}

ISC_STATUS FakeClientLibrary::isc_dsql_free_statement(ISC_STATUS* status_vector,
                                                      isc_stmt_handle* stmt,
                                                      unsigned short option) {
  return FreeStatement(status_vector, stmt, option);
}

ISC_LONG FakeClientLibrary::isc_sqlcode(const ISC_STATUS* status_vector) {
  return SqlCode(status_vector);
}

ISC_LONG FakeClientLibrary::isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  return Interprete(buffer, position);
}

ISC_LONG FakeClientLibrary::isc_vax_integer(const ISC_SCHAR* buffer, short length) {
  return VaxInteger(buffer, length);
}

void FakeClientLibrary::Reset() {
  ResetService();
  ResetDatabase();
  calls.clear();
}

void FakeClientLibrary::Record(const CallRecord& call) {
  calls.push_back({call.name, {call.arguments.begin(), call.arguments.end()}});
}
