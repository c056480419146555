#include "tool/warmup_run.h"

#include <memory>

#include "base/exceptions.h"
#include "services/statistical_service.h"
#include "tool/run_outcome.h"

namespace {

void RequireParams(const WarmUpContext& context) {
  for (const std::u16string name : {u"USER", u"PASSWORD", u"DB"})
    if (context.param_value(name).empty()) throw EParameterMissing(name);
}

// Configures the client for the statistics run and returns the database label.
std::u16string Configure(TIBStatisticalService& client, const WarmUpContext& context) {
  const std::u16string server = context.param_value(u"SERVER");
  client.SetServerName(server.empty() ? u"127.0.0.1" : server);
  client.SetProtocol(TProtocol::TCP);
  client.Params().Clear();
  client.Params().Add(u"user_name=" + context.param_value(u"USER"));
  client.Params().Add(u"password=" + context.param_value(u"PASSWORD"));
  client.SetLoginPrompt(false);
  client.SetTraceFlags(TTraceFlags{});
  client.SetDatabaseName(context.param_value(u"DB"));
  std::u16string label = client.ServerName() + u":" + client.DatabaseName();
  client.SetOptions(TStatOptions{TStatOption::DataPages, TStatOption::IndexPages});
  return label;
}

}  // namespace

uint32_t RunStatisticsWarmUp(int64_t start_tick, const WarmUpContext& context) {
  // Creating the client loads the client library, so a missing library is reported before
  // any parameter is looked at.
  auto client = std::make_unique<TIBStatisticalService>(nullptr);
  RequireParams(context);
  const std::u16string label = Configure(*client, context);
  client->SetActive(true);
  client->ServiceStart();
  while (!client->Eof()) context.out.PrintLine(client->GetNextLine());

  // Modulo 2^32, so a run across the counter's wrap is measured by the time that passed. Taken
  // before the step after the report, whose time is not the warm-up's.
  const uint32_t elapsed = context.ticks.Now() - static_cast<uint32_t>(start_tick);
  if (context.after_report) context.after_report();
  if (elapsed < kMinimumRunMilliseconds) throw ERunTooFast(elapsed);
  context.out.PrintLine(u"Fertig! (DB=" + label + u")");
  // Ending the connection can fail too, and then ends the run like any other error.
  client->SetActive(false);
  return elapsed;
}
