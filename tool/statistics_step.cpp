#include "tool/statistics_step.h"

#include "services/statistical_service.h"
#include "tool/run_outcome.h"

StatisticsStep::StatisticsStep(LineOutput& out, TickSource& ticks)
    : out_(out), ticks_(ticks), client_(std::make_unique<TIBStatisticalService>(nullptr)) {}

StatisticsStep::~StatisticsStep() = default;

void StatisticsStep::PrintReport(const ServerTarget& target, int64_t start_tick) {
  TIBStatisticalService& client = *client_;
  client.SetServerName(target.server);
  client.SetProtocol(TProtocol::TCP);
  client.Params().Clear();
  client.Params().Add(u"user_name=" + target.user);
  client.Params().Add(u"password=" + target.password);
  client.SetLoginPrompt(false);
  client.SetTraceFlags(TTraceFlags{});
  client.SetDatabaseName(target.database.path);
  label_ = client.ServerName() + u":" + client.DatabaseName();
  client.SetOptions(TStatOptions{TStatOption::DataPages, TStatOption::IndexPages});
  client.SetActive(true);
  client.ServiceStart();
  while (!client.Eof()) out_.PrintLine(client.GetNextLine());
  elapsed_ = ticks_.Now() - static_cast<uint32_t>(start_tick);
}

uint32_t StatisticsStep::Finish() {
  if (elapsed_ < kMinimumRunMilliseconds) throw ERunTooFast(elapsed_);
  out_.PrintLine(u"Fertig! (DB=" + label_ + u")");
  client_->SetActive(false);
  return elapsed_;
}
