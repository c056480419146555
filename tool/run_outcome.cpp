#include "tool/run_outcome.h"

#include <ibase.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

#include "ibclient/errors.h"

namespace {

// Answers that mean the server is not there yet, or is going away: the boot unit's server may
// count as started before it listens, and a server shutting down comes back. The database file
// that cannot be opened counts here too (the statistics action answers isc_gstat_open_err, an
// attachment isc_io_error): at boot its file system may not be mounted yet, and a retry of a
// wrong path costs little, since the file is then missing here as well.
constexpr int64_t kMayHeal[] = {
    isc_network_error,  isc_net_connect_err,     isc_net_connect_listen_err,
    isc_net_read_err,   isc_net_write_err,       isc_net_lookup_err,
    isc_net_init_error, isc_conn_lost,           isc_lost_db_connection,
    isc_shutdown,       isc_shutinprog,          isc_att_shutdown,
    isc_unavailable,    isc_net_server_shutdown, isc_io_error,
    isc_gstat_open_err, isc_virmemexh,
};

}  // namespace

ERunTooFast::ERunTooFast(uint32_t elapsed_ms)
    : Exception(u"Fehler aufgetreten"), elapsed_ms_(elapsed_ms) {}

EParameterMissing::EParameterMissing(std::u16string name)
    : Exception(u"Parameter " + name + u" fehler"), name_(std::move(name)) {}

RunOutcome OutcomeOfFailure(const std::exception& failure) {
  if (dynamic_cast<const ERunTooFast*>(&failure)) return RunOutcome::TooFast;
  // Memory that was short at start-up is usually there a little later.
  if (dynamic_cast<const EOutOfMemory*>(&failure) || dynamic_cast<const std::bad_alloc*>(&failure))
    return RunOutcome::Retry;
  const int64_t code = FirebirdErrorCode(failure);
  if (std::find(std::begin(kMayHeal), std::end(kMayHeal), code) != std::end(kMayHeal))
    return RunOutcome::Retry;
  return RunOutcome::Permanent;
}

int64_t FirebirdErrorCode(const std::exception& failure) {
  const auto* error = dynamic_cast<const EIBError*>(&failure);
  return error ? error->IBErrorCode() : 0;
}
