// What the start parameters ask of a run, taken from the parameter list once, when the run
// begins, and what the list found out on the way (the parameter file, /TEMP:).
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "params/application_param_list.h"
#include "params/fit_parameters.h"
#include "params/param_file.h"
#include "tool/run_target.h"

// One start parameter's value. A value longer than the list gives whole is refused rather than
// used cut: it would name another file, user or server. The step that needs the value raises
// then, so the run's errors keep their order.
struct StartValue {
  explicit StartValue(std::u16string parameter) : name(std::move(parameter)) {}

  std::u16string name;
  std::u16string text;  // empty when absent or refused
  bool too_long = false;

  // The value; raises "Parameter <name> zu lang" for a refused one.
  const std::u16string& Taken() const;
  // The value, which must not be empty either (EParameterMissing).
  const std::u16string& Required() const;
  // The value, nothing for a refused one.
  std::optional<std::u16string> IfUsable() const;
};

// What the parameter list found when it was made, for the operator.
struct ParameterSources {
  ParameterFile file;
  bool password_exposed = false;  // the file holds a password and others may read it
  TApplicationParamList::TempRedirection temp;
};

struct RunRequest {
  bool help = false;
  bool skip_cached = false;
  FitParameters fit;          // /FIT, /MAXMB
  bool server_cache = false;  // /SERVERCACHE
  StartValue database{u"DB"};
  StartValue server{u"SERVER"};
  StartValue user{u"USER"};
  StartValue password{u"PASSWORD"};
  ParameterSources sources;
};

// From the process-wide parameter list; without one the run is asked for nothing. Raises
// EOutOfMemory when the list cannot be created.
RunRequest ReadRunRequest();

// The target of the server part of the run: USER, PASSWORD and DB must be given, in that
// order, and SERVER must not be refused.
ServerTarget TakeServerTarget(const RunRequest& request, const DatabaseLocation& database);
