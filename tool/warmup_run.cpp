#include "tool/warmup_run.h"

#include <memory>

#include "base/exceptions.h"
#include "services/statistical_service.h"

namespace {

void RequireParams(const WarmUpContext& context) {
  for (const std::u16string name : {u"USER", u"PASSWORD", u"DB"}) {
    if (!context.param_value(name).empty()) continue;
    if (context.report) context.report->ParameterMissing(name);
    throw Exception(u"Parameter " + name + u" fehler");
  }
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

void RunStatisticsWarmUp(int64_t start_tick, const WarmUpContext& context) {
  // Creating the client loads the client library, so a missing library is reported before
  // any parameter is looked at.
  auto client = std::make_unique<TIBStatisticalService>(nullptr);
  RequireParams(context);
  const std::u16string label = Configure(*client, context);
  client->SetActive(true);
  client->ServiceStart();
  while (!client->Eof()) {
    const std::u16string line = client->GetNextLine();
    if (context.report) context.report->ReportLine(line);
    context.out.PrintLine(line);
  }
  if (context.report)
    context.report->AfterReport(context.param_value(u"SERVER"), context.param_value(u"DB"));

  // Modulo 2^32, so a run across the counter's wrap is measured by the time that passed.
  const uint32_t elapsed = context.ticks.Now() - static_cast<uint32_t>(start_tick);
  if (elapsed < kMinimumRunMilliseconds) {
    if (context.report) context.report->RunTooShort(elapsed, kMinimumRunMilliseconds);
    throw Exception(u"Fehler aufgetreten");
  }
  context.out.PrintLine(u"Fertig! (DB=" + label + u")");
  // Ending the connection can fail too, and then ends the run like any other error.
  client->SetActive(false);
}
