// Binds the shared client library by its plain file name, as the tool does, and prints the
// outcome on standard output: "version=<ClientVersion>", then with the argument "attach" the
// result of a local service attach, with "client-version" the library's own version text; an
// exception prints its class, SQLCode and message.
#include <cstdio>
#include <cstring>

#include "base/exceptions.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "ibclient/status_vector.h"
#include "ibclient/trace_hook.h"

int main(int argc, char** argv) {
  const bool attach = argc > 1 && strcmp(argv[1], "attach") == 0;
  const bool version_text = argc > 1 && strcmp(argv[1], "client-version") == 0;
  try {
    const auto library = SharedClientLibrary();
    library->CheckIBLoaded();
    printf("version=%lld\n", static_cast<long long>(library->ClientVersion()));
    if (version_text) {
      char text[256] = {};
      library->isc_get_client_version(text);
      printf("client-version=%s\n", text);
    }
    if (attach) {
      isc_svc_handle handle = 0;
      const char service[] = "service_mgr";
      const ISC_STATUS status = library->isc_service_attach(
          ThreadStatusVector(), sizeof service - 1, service, &handle, 0, nullptr);
      printf("attach=%ld handle=%u\n", static_cast<long>(status), handle);
    }
  } catch (const EIBClientError& e) {
    printf("EIBClientError %d %s\n", e.SQLCode(), e.what());
  } catch (const EOSError& e) {
    printf("EOSError %d %s\n", e.ErrorCode(), e.what());
  }
  ShutdownTraceHook();
  return 0;
}
