#include <dlfcn.h>

#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"

namespace {

// dlerror() keeps one message and clears it when read, so the text is taken right at the
// failure, before any later call can replace it.
struct LastFailure {
  int code = 0;
  std::string text;
};
thread_local LastFailure t_last_failure;

void Remember(int code) {
  const char* text = dlerror();
  t_last_failure = LastFailure{code, text ? text : ""};
}

}  // namespace

DynamicLibrary* DynamicLibrary::Load(const std::string& file_name) {
  void* handle = dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    Remember(126);  // Windows' "module not found", so both platforms report alike
    return nullptr;
  }
  return new DynamicLibrary(handle);
}

void* DynamicLibrary::Symbol(const char* name) {
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) {
    Remember(127);  // Windows' "procedure not found"
    return nullptr;
  }
  return address;
}

DynamicLibrary::Error DynamicLibrary::LastError() {
  return Error{t_last_failure.code, FromNarrow(t_last_failure.text)};
}
