// The stand-in client library: the entry points on the tool's road, answering as
// tests/support/service_double.h and database_double.h describe, scripted by the file that
// FBWARM_STANDIN_SCRIPT names, with every call recorded in the file that FBWARM_STANDIN_LOG
// names. README.md describes both formats. STANDIN_SCRIPTED in names.cmake lists the entry
// points defined here.
#include "tests/standin/standin.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "ibclient/gds_entry_points.h"
#include "tests/support/database_double.h"
#include "tests/support/double_script.h"
#include "tests/support/service_double.h"
#include "tests/support/tool_output.h"

#ifndef STANDIN_MAJOR
#define STANDIN_MAJOR 6
#endif
#ifndef STANDIN_MINOR
#define STANDIN_MINOR 3
#endif

namespace {

// The stand-in's client library: the shared answers of both halves, each call appended to the
// log.
class StandinClient : public ServiceDouble, public DatabaseDouble {
 public:
  void Reset() {
    ResetService();
    ResetDatabase();
  }

 protected:
  void Record(const CallRecord& call) override {
    std::string details;
    for (const auto& [key, value] : call.arguments)
      details += (details.empty() ? "" : " ") + key + "=" + value;
    StandinLog(call.name, details);
  }
};

std::mutex g_lock;
bool g_loaded = false;
std::string g_script_path;
StandinClient g_client;

// The script's text; a script that cannot be read is a fault of the test, as a malformed one is.
std::string ReadScript(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    fprintf(stderr, "fbwarm stand-in: %s: cannot open the script\n", path.c_str());
    abort();
  }
  std::string content;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
  fclose(file);
  return content;
}

void Reset(const std::string& path) {
  g_client.Reset();
  if (!path.empty()) ApplyDoubleScript(ReadScript(path), path, g_client, g_client);
  g_script_path = path;
  g_loaded = true;
}

// Reads the script at the first call, and again whenever the variable names another file.
void Refresh() {
  const char* variable = getenv("FBWARM_STANDIN_SCRIPT");
  const std::string path = variable ? variable : "";
  if (!g_loaded || path != g_script_path) Reset(path);
}

}  // namespace

void StandinLog(const char* name, const std::string& details) {
  const char* path = getenv("FBWARM_STANDIN_LOG");
  if (!path || !*path) return;
  FILE* file = fopen(path, "ab");
  if (!file) return;
  fprintf(file, "%s%s%s\n", name, details.empty() ? "" : " ", details.c_str());
  fclose(file);
}

// Forgets the consumed answers and reads the script again, also from the same file.
extern "C" void fbwarm_standin_reset() {
  std::lock_guard<std::mutex> lock(g_lock);
  const char* variable = getenv("FBWARM_STANDIN_SCRIPT");
  Reset(variable ? variable : "");
}

extern "C" ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short service_length,
                                         const ISC_SCHAR* service, isc_svc_handle* handle,
                                         unsigned short spb_length, const ISC_SCHAR* spb) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Attach(status, {service, service_length}, handle, {spb, spb_length});
}

extern "C" ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Detach(status, handle);
}

extern "C" ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short request_length,
                                        const ISC_SCHAR* request) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Start(status, handle, {request, request_length});
}

extern "C" ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short send_length,
                                        const ISC_SCHAR* send_items, unsigned short request_length,
                                        const ISC_SCHAR* request_items,
                                        unsigned short buffer_length, ISC_SCHAR* buffer) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Query(status, handle, {send_items, send_length}, {request_items, request_length},
                        buffer_length, buffer);
}

// The database calls, as the service calls: the script read at the first call, each call
// logged and answered under the lock.
extern "C" ISC_STATUS isc_attach_database(ISC_STATUS* status, short name_length,
                                          const ISC_SCHAR* name, isc_db_handle* db,
                                          short dpb_length, const ISC_SCHAR* dpb) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.AttachDatabase(status, {name, static_cast<size_t>(name_length)}, db,
                                 {dpb, static_cast<size_t>(dpb_length)});
}

extern "C" ISC_STATUS isc_detach_database(ISC_STATUS* status, isc_db_handle* db) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.DetachDatabase(status, db);
}

extern "C" ISC_STATUS isc_database_info(ISC_STATUS* status, isc_db_handle* db, short items_length,
                                        const ISC_SCHAR* items, short buffer_length,
                                        ISC_SCHAR* buffer) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.DatabaseInfo(status, db, {items, static_cast<size_t>(items_length)},
                               buffer_length, buffer);
}

extern "C" ISC_STATUS isc_start_multiple(ISC_STATUS* status, isc_tr_handle* tr, short count,
                                         void* teb) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.StartMultiple(status, tr, count, teb);
}

extern "C" ISC_STATUS isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* tr) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.CommitTransaction(status, tr);
}

extern "C" ISC_STATUS isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* tr) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.RollbackTransaction(status, tr);
}

extern "C" ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status, isc_db_handle* db,
                                                isc_stmt_handle* stmt) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.AllocateStatement(status, db, stmt);
}

extern "C" ISC_STATUS isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt,
                                       unsigned short length, const ISC_SCHAR* statement,
                                       unsigned short, XSQLDA* sqlda) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Prepare(status, tr, stmt, {statement, length}, sqlda);
}

extern "C" ISC_STATUS isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* stmt, unsigned short,
                                        XSQLDA* sqlda) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Describe(status, stmt, sqlda);
}

extern "C" ISC_STATUS isc_dsql_execute(ISC_STATUS* status, isc_tr_handle* tr, isc_stmt_handle* stmt,
                                       unsigned short, const XSQLDA*) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Execute(status, tr, stmt);
}

extern "C" ISC_STATUS isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* stmt, unsigned short,
                                     const XSQLDA* sqlda) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.Fetch(status, stmt, sqlda);
}

extern "C" ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* stmt,
                                              unsigned short option) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_client.FreeStatement(status, stmt, option);
}

extern "C" ISC_LONG isc_sqlcode(const ISC_STATUS* status) {
  StandinLog("isc_sqlcode", "");
  return ClientDouble::SqlCode(status);
}

extern "C" ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  StandinLog("isc_interprete", "");
  return ClientDouble::Interprete(buffer, position);
}

extern "C" ISC_LONG isc_vax_integer(const ISC_SCHAR* bytes, short length) {
  const short logged = length < 0 ? 0 : length > 4 ? 4 : length;  // never read past 4 bytes
  StandinLog("isc_vax_integer",
             "bytes=" + Hex(std::string(bytes ? bytes : "", bytes ? logged : 0)) +
                 " length=" + std::to_string(length));
  return ClientDouble::VaxInteger(bytes, length);
}

extern "C" int isc_get_client_major_version() {
  StandinLog("isc_get_client_major_version", "");
  return STANDIN_MAJOR;
}

extern "C" int isc_get_client_minor_version() {
  StandinLog("isc_get_client_minor_version", "");
  return STANDIN_MINOR;
}

extern "C" void isc_get_client_version(ISC_SCHAR* buffer) {
  StandinLog("isc_get_client_version", "");
  sprintf(buffer, "LI-V%d.%d fbwarm stand-in", STANDIN_MAJOR, STANDIN_MINOR);
}
