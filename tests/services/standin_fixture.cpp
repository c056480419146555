#include "tests/services/standin_fixture.h"

#include "base/text.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"

namespace {

std::string StandinLibraryPath() { return STANDIN_LIBRARY; }

}  // namespace

std::string ServiceCall::Detail(const std::string& key) const {
  const std::string wanted = key + "=";
  size_t start = 0;
  while (start < details.size()) {
    size_t end = details.find(' ', start);
    if (end == std::string::npos) end = details.size();
    if (details.compare(start, wanted.size(), wanted) == 0)
      return details.substr(start + wanted.size(), end - start - wanted.size());
    start = end + 1;
  }
  ADD_FAILURE() << "no " << key << " in " << name << " " << details;
  return "";
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::shared_ptr<IGDSLibrary> StandinTest::Library() {
  static const std::shared_ptr<IGDSLibrary> library =
      std::make_shared<TDynamicLibrary>(StandinLibraryPath(), XmlLibraryName());
  return library;
}

void StandinTest::SetUp() {
  SetEnvironmentValue(u"FBWARM_STANDIN_LOG", ToU16(dir_ / "log"));
  Script("");
}

void StandinTest::TearDown() {
  SetEnvironmentValue(u"FBWARM_STANDIN_LOG", u"");
  SetEnvironmentValue(u"FBWARM_STANDIN_SCRIPT", u"");
}

void StandinTest::Script(const std::string& text) {
  WriteFileBytes(dir_ / "script", text);
  WriteFileBytes(dir_ / "log", "");
  SetEnvironmentValue(u"FBWARM_STANDIN_SCRIPT", ToU16(dir_ / "script"));
  // The stand-in rereads its script only when the path changes, or when told to.
  Library()->CheckIBLoaded();
  static DynamicLibrary* const standin = DynamicLibrary::Load(StandinLibraryPath());
  ASSERT_NE(standin, nullptr) << StandinLibraryPath();
  auto reset = reinterpret_cast<void (*)()>(standin->Symbol("fbwarm_standin_reset"));
  ASSERT_NE(reset, nullptr);
  reset();
}

std::vector<ServiceCall> StandinTest::Calls() const {
  std::vector<ServiceCall> calls;
  const std::string log = ReadFileBytes(dir_ / "log");
  size_t start = 0;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    if (line.rfind("isc_service_", 0) != 0) continue;
    const size_t blank = line.find(' ');
    calls.push_back(ServiceCall{line.substr(0, blank),
                                blank == std::string::npos ? "" : line.substr(blank + 1)});
  }
  return calls;
}

std::vector<ServiceCall> StandinTest::Calls(const std::string& name) const {
  std::vector<ServiceCall> calls;
  for (const ServiceCall& call : Calls())
    if (call.name == name) calls.push_back(call);
  return calls;
}

std::unique_ptr<TIBStatisticalService> StandinTest::NewSession() const {
  auto session = std::make_unique<TIBStatisticalService>(nullptr, Library());
  session->SetServerName(u"dbhost");
  session->Params().Add(u"user_name=SYSDBA");
  session->Params().Add(u"password=pw");
  session->SetLoginPrompt(false);
  return session;
}

std::unique_ptr<TIBStatisticalService> StandinTest::StartedSession() const {
  auto session = NewSession();
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  session->SetOptions({TStatOption::DataPages, TStatOption::IndexPages});
  session->SetActive(true);
  session->ServiceStart();
  return session;
}
