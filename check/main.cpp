// fbwarm-check: runs fbwarm and turns how its run ended into an exit status for systemd, cron
// and other schedulers.
#include <string>
#include <vector>

#include "check/check_run.h"
#include "params/password_argument.h"
#include "platform/process.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
  // fbwarm gets the arguments' bytes as they came, before the password is hidden here.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  InitProcessArguments(argc, argv);
  InitTextEncoding();
  ConcealArguments(PasswordValueStart);
  return RunCheck(arguments);
}
