// Loading a shared library by file name and looking up its exported names.
#pragma once

#include <string>

// A loaded library. The library stays loaded until the process ends: unloading the client
// library while its threads may still run is never worth the risk.
class DynamicLibrary {
 public:
  // Loads by plain file name with the platform's standard search order; nullptr if it fails.
  static DynamicLibrary* Load(const std::string& file_name);

  // The address of an exported name, or nullptr; LastError() then says why.
  void* Symbol(const char* name);

  // The platform's code and message text for the last failed load or look-up on this thread.
  struct Error {
    int code;
    std::u16string text;
  };
  static Error LastError();

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};
