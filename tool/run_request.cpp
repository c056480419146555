#include "tool/run_request.h"

#include "base/exceptions.h"
#include "tool/run_outcome.h"

const std::u16string& StartValue::Taken() const {
  if (too_long) throw Exception(u"Parameter " + name + u" zu lang");
  return text;
}

const std::u16string& StartValue::Required() const {
  if (Taken().empty()) throw EParameterMissing(name);
  return text;
}

std::optional<std::u16string> StartValue::IfUsable() const {
  if (too_long) return std::nullopt;
  return text;
}

RunRequest ReadRunRequest() {
  RunRequest request;
  TApplicationParamList* list = ApplicationParamList();
  if (!list) return request;
  // "?" in any of its spellings, and the two switches a Unix user types first.
  request.help = list->HasParam(u"?") || list->HasArgument(u"--help") || list->HasArgument(u"-h");
  request.skip_cached = list->HasParam(u"SKIPCACHED");
  request.fit = ReadFitParameters(*list);
  request.server_cache = list->HasParam(u"SERVERCACHE");
  for (StartValue* value : {&request.database, &request.server, &request.user, &request.password}) {
    value->too_long = list->ParamValueTooLong(value->name);
    if (!value->too_long) value->text = list->GetParamValue(value->name);
  }
  request.sources = {list->ParameterFileRead(), list->ParameterFileExposesPassword(),
                     list->TemporaryDirectoryRedirection()};
  return request;
}

ServerTarget TakeServerTarget(const RunRequest& request, const DatabaseLocation& database) {
  ServerTarget target;
  target.user = request.user.Required();
  target.password = request.password.Required();
  request.database.Required();
  target.server = ServerOf(request.server.Taken());
  target.database = database;
  return target;
}
