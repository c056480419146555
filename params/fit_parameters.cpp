#include "params/fit_parameters.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "params/application_param_list.h"

std::optional<uint64_t> FitParameters::Budget() const {
  if (refused)
    throw Exception(u"Parameter MAXMB ungueltig: \"" + *refused +
                    u"\" (erwartet: ganze Zahl von MiB, mindestens 1)");
  return budget_bytes;
}

std::optional<uint64_t> ParseMebibytes(const std::u16string& text) {
  const std::u16string digits = Trim(text);
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
  }
  if (value == 0 || value > kMaxBudgetMiB) return std::nullopt;
  return value;
}

FitParameters ReadFitParameters(TApplicationParamList& list) {
  FitParameters result;
  const bool budget_given = list.HasParam(u"MAXMB");
  result.fit = budget_given || list.HasParam(u"FIT");
  if (!budget_given) return result;
  const std::u16string text = list.GetParamValue(u"MAXMB");
  const std::optional<uint64_t> mebibytes =
      list.ParamValueTooLong(u"MAXMB") ? std::nullopt : ParseMebibytes(text);
  if (mebibytes)
    result.budget_bytes = *mebibytes * 1024 * 1024;
  else
    result.refused = text;
  return result;
}
