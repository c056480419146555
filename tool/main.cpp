// fbwarm: warms the caches of a Firebird database before its users arrive.
#include "platform/console.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "tool/driver.h"

int main(int argc, char** argv) {
  InitProcessArguments(argc, argv);
  InitTextEncoding();
  InitConsole();
  return RunProgram();
}
