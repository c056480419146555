#include "params/application_param_list.h"

#include <algorithm>
#include <new>

#include "base/exceptions.h"
#include "base/text.h"
#include "params/param_file.h"
#include "params/password_argument.h"
#include "params/temp_directory.h"
#include "platform/compare.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

// Runs one step on the list's sources. What such a step raises, one of our failures or memory
// that cannot be had, ends that step silently: the list never reports a problem with its
// sources, and what it could not get is simply absent. Anything else is a fault in the program
// and travels on.
template <class Step>
void Absorbing(Step&& step) {
  try {
    step();
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  }
}

// The name an item gives for the presence test: upper-cased, one leading '-', '/' or '\'
// removed, cut at its first ':' and then its first '=', trimmed.
std::u16string PresenceName(const std::u16string& item) {
  std::u16string name = AsciiUpper(item);
  if (!name.empty() && (name[0] == u'-' || name[0] == u'/' || name[0] == u'\\')) name.erase(0, 1);
  name = name.substr(0, name.find(u':'));
  name = name.substr(0, name.find(u'='));
  return Trim(name);
}

}  // namespace

TApplicationParamList::TApplicationParamList() : fRequestedParams(std::make_unique<TStringList>()) {
  // An executable path that cannot be had means no argument 0 and no parameter file.
  std::u16string executable;
  std::vector<std::u16string> arguments;
  std::u16string parameter_file;
  Absorbing([&] { executable = ExecutablePath(); });
  Absorbing([&] { arguments = ProcessArguments(); });
  Absorbing([&] {
    if (!executable.empty()) parameter_file = ParameterFilePath(executable);
  });
  AppendSources(executable, arguments, parameter_file);
  // The values are in the list now; the process list need not show them any more.
  Absorbing([] { ConcealArguments(PasswordValueStart); });
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
  if (!arguments.empty() && !executable_path.empty()) Absorbing([&] { Add(executable_path); });
  for (const std::u16string& argument : arguments)
    if (!argument.empty()) Absorbing([&] { Add(argument); });
  if (parameter_file.empty()) return;
  // The file as a whole: the lines appended before a failure stay.
  Absorbing([&] {
    parameter_file_ = ReadParameterFile(parameter_file);
    std::vector<std::u16string> items = std::move(parameter_file_.items);
    parameter_file_.items.clear();
    for (std::u16string& line : items) {
      if (PasswordValueStart(line) != std::u16string::npos && IsReadableByOthers(parameter_file))
        parameter_file_exposes_password_ = true;
      Add(std::move(line));
    }
  });
  // A read that failed on the way (memory for a huge file) leaves a file that could not be read.
  if (parameter_file_.state == ParameterFileState::None) {
    parameter_file_.path = parameter_file;
    parameter_file_.state = ParameterFileState::Unreadable;
    parameter_file_.reason = EOutOfMemory().Message();
  }
}

void TApplicationParamList::RedirectTemporaryDirectory() {
  using Outcome = TempRedirection::Outcome;
  // A redirection that cannot be made leaves the environment as it was.
  Absorbing([&] {
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
  });
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
  bool found = false;
  Absorbing([&] {
    RegisterRequested(name);
    const std::u16string target = AsciiUpper(name);
    found = std::ranges::any_of(
        Items(), [&](const std::u16string& item) { return PresenceName(item) == target; });
  });
  return found;
}

std::u16string TApplicationParamList::GetParamValue(const std::u16string& name) {
  RegisterRequested(name);
  std::u16string result;
  Absorbing([&] {
    if (const std::optional<std::u16string_view> value = WholeValue(name))
      result = value->substr(0, kMaxParamValueLength);
  });
  return result;
}

bool TApplicationParamList::ParamValueTooLong(const std::u16string& name) {
  bool too_long = false;
  Absorbing([&] {
    RegisterRequested(name);
    const std::optional<std::u16string_view> value = WholeValue(name);
    too_long = value && value->size() > kMaxParamValueLength;
  });
  return too_long;
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
