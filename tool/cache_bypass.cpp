#include "tool/cache_bypass.h"

std::optional<bool> BypassByRule(const BypassVerdict& verdict) {
  if (verdict.use_file_system_cache) return !verdict.use_file_system_cache->value;
  if (!verdict.threshold) return std::nullopt;
  return verdict.page_buffers >= verdict.threshold->value;
}

void DecideBypass(BypassVerdict& verdict) {
  using Outcome = BypassVerdict::Outcome;
  const std::optional<bool> rule = BypassByRule(verdict);
  verdict.by_rule = rule;
  if (verdict.evidence == DescriptorEvidence::Direct)
    verdict.outcome = Outcome::Bypasses;
  else if (rule)
    verdict.outcome = *rule ? Outcome::Bypasses : Outcome::UsesCache;
  else if (verdict.evidence == DescriptorEvidence::Plain)
    verdict.outcome = Outcome::UsesCache;
  else
    verdict.outcome = Outcome::Undetermined;
}
