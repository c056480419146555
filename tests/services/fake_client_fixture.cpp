#include "tests/services/fake_client_fixture.h"

std::string ServiceCall::Detail(const std::string& key) const {
  const auto found = arguments.find(key);
  if (found != arguments.end()) return found->second;
  ADD_FAILURE() << "no " << key << " in " << name;
  return "";
}

std::string Unhex(const std::string& hex) {
  std::string digits;
  for (char c : hex)
    if (c != ' ') digits += c;
  EXPECT_EQ(digits.size() % 2, 0u) << hex;
  std::string out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<ServiceCall> FakeClientTest::Calls() const {
  std::vector<ServiceCall> calls;
  for (const FakeCall& call : fake_->calls) calls.push_back(ServiceCall{call});
  return calls;
}

std::vector<ServiceCall> FakeClientTest::Calls(const std::string& name) const {
  std::vector<ServiceCall> calls;
  for (const ServiceCall& call : Calls())
    if (call.name == name) calls.push_back(call);
  return calls;
}

std::unique_ptr<TIBStatisticalService> FakeClientTest::NewSession() const {
  auto session = std::make_unique<TIBStatisticalService>(nullptr, Library());
  session->SetServerName(u"dbhost");
  session->Params().Add(u"user_name=SYSDBA");
  session->Params().Add(u"password=pw");
  session->SetLoginPrompt(false);
  return session;
}

std::unique_ptr<TIBStatisticalService> FakeClientTest::StartedSession() const {
  auto session = NewSession();
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  session->SetOptions({TStatOption::DataPages, TStatOption::IndexPages});
  session->SetActive(true);
  session->ServiceStart();
  return session;
}
