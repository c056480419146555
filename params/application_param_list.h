// The start parameter list: the process arguments and the lines of the parameter file's
// "[STARTPARAMS]" sections as raw items, the two look-ups on them, the registry of requested
// names, and the TEMP redirection applied once at creation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/string_list.h"
#include "params/param_file.h"

// The longest value a look-up gives; the rest of a longer one is cut off.
constexpr size_t kMaxParamValueLength = 255;

class TApplicationParamList : public TStringList {
 public:
  // Reads the sources of the running process: its arguments, its executable's path and the
  // parameter file beside the executable.
  TApplicationParamList();
  // Reads the given sources instead: executable_path is argument 0 (appended only when there
  // are arguments), arguments are 1 to N (empty ones skipped), parameter_file is the path of
  // the parameter file (none when empty). A source that cannot be read contributes nothing.
  TApplicationParamList(const std::u16string& executable_path,
                        const std::vector<std::u16string>& arguments,
                        const std::u16string& parameter_file);
  ~TApplicationParamList() override;

  // True when an item names the parameter: the item, upper-cased, with one leading '-', '/'
  // or '\' removed, cut at its first ':' and then its first '=', and trimmed, equals the name
  // upper-cased as passed. False on any failure.
  bool HasParam(const std::u16string& name);

  // The text after "/NAME:" (letter case ignored) of the first item that begins with it, at
  // most 255 characters and untrimmed; empty when no item begins with it.
  std::u16string GetParamValue(const std::u16string& name);

  // True when the value GetParamValue gives for name is cut: the item's text after the key is
  // longer than kMaxParamValueLength. A cut path or user names another one, so callers refuse
  // such a value instead of using it.
  bool ParamValueTooLong(const std::u16string& name);

  // True when the parameter file holds a password and other users may read the file.
  bool ParameterFileExposesPassword() const { return parameter_file_exposes_password_; }

  // What became of the parameter file (its items are in the list, not here).
  const ParameterFile& ParameterFileRead() const { return parameter_file_; }

  // A /TEMP: value that was given but could not be applied; Applied otherwise.
  struct TempRedirection {
    enum class Outcome { Applied, TooLong, NoDirectory, EnvironmentRefused };
    Outcome outcome = Outcome::Applied;
    std::u16string directory;  // the value as expanded (empty for TooLong)
  };
  const TempRedirection& TemporaryDirectoryRedirection() const { return temp_redirection_; }

  // Every name asked for, normalised, sorted at each read. Owned by the list.
  const TStringList& RequestedParams();

  // The value of a path parameter made usable: trimmed, one pair of enclosing double quotes
  // removed, %NAME% references expanded.
  static std::u16string ExpandParamPath(const std::u16string& text);

 private:
  void AppendSources(const std::u16string& executable_path,
                     const std::vector<std::u16string>& arguments,
                     const std::u16string& parameter_file);
  void RedirectTemporaryDirectory();
  void RegisterRequested(const std::u16string& name);
  // The text after "/NAME:" (letter case ignored) of the first item that begins with it, not
  // cut; nothing when no item begins with it.
  std::optional<std::u16string_view> WholeValue(const std::u16string& name) const;

  std::unique_ptr<TStringList> fRequestedParams;
  bool parameter_file_exposes_password_ = false;
  ParameterFile parameter_file_;
  TempRedirection temp_redirection_;
};

// The process-wide list, created from the running process at the first call. Null once
// ReleaseApplicationParamList has run. Raises EOutOfMemory when the list cannot be created.
TApplicationParamList* ApplicationParamList();

// Program end: clears the global reference, then frees the list. Later calls of the accessor
// return null. Never raises.
void ReleaseApplicationParamList();
