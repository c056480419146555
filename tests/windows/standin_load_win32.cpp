// What the Windows build of the stand-in client library does when it is loaded: it records the
// TEMP and TMP that the process holds by then, so that a test sees the TEMP redirection, and,
// when FBWARM_STANDIN_LOAD_DELAY_MS asks for it, it waits, so that a run reaches the 2000 ms
// of a successful warm-up without a server.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/standin/standin.h"

namespace {

// The variable's value as UTF-8 in hex, or "-" when it is not defined.
std::string HexValue(const wchar_t* name) {
  std::wstring value(32768, L'\0');  // the largest a variable can hold
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(name, value.data(), 32768);
  if (length == 0 && GetLastError() != ERROR_SUCCESS) return "-";
  std::string utf8(4 * 32768, '\0');
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(length), utf8.data(),
                          static_cast<int>(utf8.size()), nullptr, nullptr);
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < size; ++i) {
    hex += digits[static_cast<unsigned char>(utf8[i]) >> 4];
    hex += digits[static_cast<unsigned char>(utf8[i]) & 15];
  }
  return hex;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  StandinLog("standin_load", "TEMP=" + HexValue(L"TEMP") + " TMP=" + HexValue(L"TMP"));
  char delay[16];
  const DWORD length = GetEnvironmentVariableA("FBWARM_STANDIN_LOAD_DELAY_MS", delay, sizeof delay);
  if (length > 0 && length < sizeof delay) Sleep(static_cast<DWORD>(atol(delay)));
  return TRUE;
}
