// Which failures are worth a retry: the first Firebird error code decides, the tool's own
// failures are told apart by their kind.
#include "tool/run_outcome.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <new>
#include <stdexcept>

#include "ibclient/errors.h"

TEST(RunOutcome, FirebirdErrorsByTheirFirstCode) {
  const struct {
    int32_t code;
    RunOutcome outcome;
    const char* what;
  } cases[] = {
      {isc_network_error, RunOutcome::Retry, "nothing listens on the port yet"},
      {isc_net_connect_err, RunOutcome::Retry, "connect failed"},
      {isc_net_read_err, RunOutcome::Retry, "the connection broke while reading"},
      {isc_net_write_err, RunOutcome::Retry, "the connection broke while writing"},
      {isc_net_lookup_err, RunOutcome::Retry, "the host name does not resolve yet"},
      {isc_conn_lost, RunOutcome::Retry, "connection lost"},
      {isc_lost_db_connection, RunOutcome::Retry, "connection to the database lost"},
      {isc_shutdown, RunOutcome::Retry, "database shut down"},
      {isc_shutinprog, RunOutcome::Retry, "shutdown in progress"},
      {isc_att_shutdown, RunOutcome::Retry, "attachment shut down"},
      {isc_net_server_shutdown, RunOutcome::Retry, "server shutting down"},
      {isc_unavailable, RunOutcome::Retry, "engine unavailable"},
      {isc_io_error, RunOutcome::Retry, "the database file cannot be opened (not mounted yet?)"},
      {isc_gstat_open_err, RunOutcome::Retry, "the statistics cannot open the database file"},
      {isc_virmemexh, RunOutcome::Retry, "the server ran out of memory"},
      {isc_login, RunOutcome::Permanent, "wrong user name or password"},
      {isc_no_priv, RunOutcome::Permanent, "no permission"},
      {isc_bad_db_format, RunOutcome::Permanent, "not a database"},
      {isc_bad_svc_handle, RunOutcome::Permanent, "a fault of ours"},
      {0, RunOutcome::Permanent, "a client error without a status vector"},
  };
  for (const auto& c : cases) {
    const EIBInterBaseError error(-902, c.code, u"text");
    EXPECT_EQ(OutcomeOfFailure(error), c.outcome) << c.what;
    EXPECT_EQ(FirebirdErrorCode(error), c.code) << c.what;
  }
  // The role error is the same family: its code decides too.
  EXPECT_EQ(OutcomeOfFailure(EIBInterBaseRoleError(-551, isc_shutdown, u"x")), RunOutcome::Retry);
}

TEST(RunOutcome, TheToolsOwnFailuresByTheirKind) {
  EXPECT_EQ(OutcomeOfFailure(ERunTooFast(1500)), RunOutcome::TooFast);
  EXPECT_EQ(ERunTooFast(1500).Message(), u"Fehler aufgetreten");
  EXPECT_EQ(OutcomeOfFailure(EOutOfMemory()), RunOutcome::Retry);
  EXPECT_EQ(OutcomeOfFailure(std::bad_alloc()), RunOutcome::Retry);
  EXPECT_EQ(OutcomeOfFailure(Exception(u"Parameter USER fehler")), RunOutcome::Permanent);
  EXPECT_EQ(OutcomeOfFailure(Exception(u"Parameter DB zu lang")), RunOutcome::Permanent);
  EXPECT_EQ(OutcomeOfFailure(EOSError(2, u"No such file or directory")), RunOutcome::Permanent);
  EXPECT_EQ(OutcomeOfFailure(std::runtime_error("x")), RunOutcome::Permanent);
  EXPECT_EQ(FirebirdErrorCode(ERunTooFast(1)), 0);
  EXPECT_EQ(FirebirdErrorCode(Exception(u"Parameter USER fehler")), 0);
  // The client library cannot be loaded: a client error, nothing that heals by waiting.
  const EIBClientError missing(static_cast<int32_t>(ClientErrorCode::LibraryMissing), u"x");
  EXPECT_EQ(OutcomeOfFailure(missing), RunOutcome::Permanent);
  EXPECT_EQ(FirebirdErrorCode(missing), 0);
}
