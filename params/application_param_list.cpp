#include "params/application_param_list.h"

#include <new>

#include "base/exceptions.h"
#include "base/text.h"
#include "params/param_file.h"
#include "params/temp_directory.h"
#include "platform/compare.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

// The parameter file is optional: an executable path that cannot be had means no file.
std::u16string ExecutablePathOrEmpty() {
  try {
    return ExecutablePath();
  } catch (...) {
    return {};
  }
}

std::vector<std::u16string> ProcessArgumentsOrNone() {
  try {
    return ProcessArguments();
  } catch (...) {
    return {};
  }
}

// Where the value of a password item begins, or npos for any other item. Misspelt forms
// such as -PASSWORD:x or PASSWORD=x give no value, but they still hold a password.
size_t PasswordValueStart(const std::u16string& item) {
  const std::u16string upper = AsciiUpper(item);
  const size_t name =
      (!upper.empty() && std::u16string_view(u"-/\\").find(upper[0]) != std::u16string_view::npos)
          ? 1
          : 0;
  const size_t end = name + 8;  // "PASSWORD"
  if (upper.compare(name, 8, u"PASSWORD") != 0 || end >= upper.size()) return std::u16string::npos;
  return (upper[end] == u':' || upper[end] == u'=') ? end + 1 : std::u16string::npos;
}

}  // namespace

TApplicationParamList::TApplicationParamList() : fRequestedParams(std::make_unique<TStringList>()) {
  const std::u16string executable = ExecutablePathOrEmpty();
  std::u16string parameter_file;
  try {
    if (!executable.empty()) parameter_file = ParameterFilePath(executable);
  } catch (...) {
  }
  AppendSources(executable, ProcessArgumentsOrNone(), parameter_file);
  try {
    // The values are in the list now; the process list need not show them any more.
    ConcealArguments(PasswordValueStart);
  } catch (...) {
  }
  RedirectTemporaryDirectory();
}

TApplicationParamList::TApplicationParamList(const std::u16string& executable_path,
                                             const std::vector<std::u16string>& arguments,
                                             const std::u16string& parameter_file)
    : fRequestedParams(std::make_unique<TStringList>()) {
  AppendSources(executable_path, arguments, parameter_file);
  RedirectTemporaryDirectory();
}

TApplicationParamList::~TApplicationParamList() = default;

void TApplicationParamList::AppendSources(const std::u16string& executable_path,
                                          const std::vector<std::u16string>& arguments,
                                          const std::u16string& parameter_file) {
  // Each argument on its own: one that cannot be appended leaves out only itself.
  if (!arguments.empty() && !executable_path.empty()) {
    try {
      Add(executable_path);
    } catch (...) {
    }
  }
  for (const std::u16string& argument : arguments) {
    if (argument.empty()) continue;
    try {
      Add(argument);
    } catch (...) {
    }
  }
  if (parameter_file.empty()) return;
  try {
    parameter_file_ = ReadParameterFile(parameter_file);
    std::vector<std::u16string> items = std::move(parameter_file_.items);
    parameter_file_.items.clear();
    for (std::u16string& line : items) {
      if (PasswordValueStart(line) != std::u16string::npos && IsReadableByOthers(parameter_file))
        parameter_file_exposes_password_ = true;
      Add(std::move(line));
    }
  } catch (...) {
    // The parameter file is optional: what it could not give is simply absent. A read that
    // failed on the way (memory for a huge file) leaves a file that could not be read.
    if (parameter_file_.state == ParameterFileState::None) {
      parameter_file_.path = parameter_file;
      parameter_file_.state = ParameterFileState::Unreadable;
      parameter_file_.reason = EOutOfMemory().Message();
    }
  }
}

void TApplicationParamList::RedirectTemporaryDirectory() {
  using Outcome = TempRedirection::Outcome;
  try {
    // A cut directory would be another one: a value too long is not applied.
    if (ParamValueTooLong(u"TEMP")) {
      temp_redirection_.outcome = Outcome::TooLong;
      return;
    }
    const std::u16string value = Trim(GetParamValue(u"TEMP"));
    if (value.empty()) return;
    const std::u16string path = ExpandParamPath(value);
    temp_redirection_.directory = path;
    if (!EnsureDirectory(path)) {
      temp_redirection_.outcome = Outcome::NoDirectory;
      return;
    }
    temp_redirection_.outcome = Outcome::EnvironmentRefused;
    SetEnvironmentValue(u"TEMP", path);
    SetEnvironmentValue(u"TMP", path);
    temp_redirection_.outcome = Outcome::Applied;
  } catch (...) {
    // A redirection that cannot be made leaves the environment as it was.
  }
}

void TApplicationParamList::RegisterRequested(const std::u16string& name) {
  std::u16string normal = Trim(AsciiUpper(name));
  size_t lead = 0;
  while (lead < normal.size() && (normal[lead] == u' ' || normal[lead] == u'-' ||
                                  normal[lead] == u'/' || normal[lead] == u'\\'))
    ++lead;
  normal.erase(0, lead);
  std::erase(normal, u':');
  std::erase(normal, u'=');
  for (const std::u16string& entry : fRequestedParams->Items())
    if (CompareTextIgnoreCase(entry, normal) == 0) return;
  fRequestedParams->Add(std::move(normal));
}

bool TApplicationParamList::HasParam(const std::u16string& name) {
  try {
    RegisterRequested(name);
    const std::u16string target = AsciiUpper(name);
    for (const std::u16string& item : Items()) {
      std::u16string reduced = AsciiUpper(item);
      if (!reduced.empty() && (reduced[0] == u'-' || reduced[0] == u'/' || reduced[0] == u'\\'))
        reduced.erase(0, 1);
      reduced = reduced.substr(0, reduced.find(u':'));
      reduced = reduced.substr(0, reduced.find(u'='));
      if (Trim(reduced) == target) return true;
    }
  } catch (...) {
  }
  return false;
}

std::u16string TApplicationParamList::GetParamValue(const std::u16string& name) {
  RegisterRequested(name);
  try {
    if (const std::optional<std::u16string_view> value = WholeValue(name))
      return std::u16string(value->substr(0, kMaxParamValueLength));
  } catch (...) {
  }
  return {};
}

bool TApplicationParamList::ParamValueTooLong(const std::u16string& name) {
  try {
    RegisterRequested(name);
    const std::optional<std::u16string_view> value = WholeValue(name);
    return value && value->size() > kMaxParamValueLength;
  } catch (...) {
  }
  return false;
}

std::optional<std::u16string_view> TApplicationParamList::WholeValue(
    const std::u16string& name) const {
  const std::u16string key = AsciiUpper(u"/" + name + u":");
  for (const std::u16string& item : Items()) {
    // Only an item that begins with the key is this parameter. One that merely contains it,
    // such as a password with "/db:" inside, neither answers nor ends the search.
    if (AsciiUpper(item).starts_with(key)) return std::u16string_view(item).substr(key.size());
  }
  return std::nullopt;
}

const TStringList& TApplicationParamList::RequestedParams() {
  fRequestedParams->Sort(CompareTextIgnoreCase);
  return *fRequestedParams;
}

std::u16string TApplicationParamList::ExpandParamPath(const std::u16string& text) {
  std::u16string path = Trim(text);
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"')
    path = path.substr(1, path.size() - 2);
  if (path.find(u'%') == std::u16string::npos) return path;
  std::optional<std::u16string> expanded = ExpandEnvironmentReferences(path);
  if (!expanded) return path;
  return expanded->substr(0, expanded->find(u'\0'));
}

namespace {

TApplicationParamList* g_param_list = nullptr;
bool g_shutting_down = false;

}  // namespace

TApplicationParamList* ApplicationParamList() {
  if (!g_param_list && !g_shutting_down) {
    try {
      g_param_list = new TApplicationParamList();
    } catch (const std::bad_alloc&) {
      throw EOutOfMemory();
    }
  }
  return g_param_list;
}

void ReleaseApplicationParamList() {
  g_shutting_down = true;
  TApplicationParamList* list = g_param_list;
  g_param_list = nullptr;
  delete list;  // destructors do not throw, so there is nothing left to absorb
}
