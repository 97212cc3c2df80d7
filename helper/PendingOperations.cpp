// Operations whose real bodies are still being built. Until then each reports failure through its result,
// which the flow turns into that step's outcome.
#include "helper/Helper.h"

bool Helper::isAgentInstalled() { return false; }
bool Helper::getAgentVersion(AgentVersion&) { return false; }
std::vector<std::u16string> Helper::splitVersion(const std::u16string&) { return {}; }
bool Helper::ExecMsiSync(const char16_t*, const char16_t*, const char16_t*, std::uint32_t&) { return false; }
bool Helper::ExecUninstallMsiByProductCodeSync(std::uint32_t&) { return false; }
bool Helper::updateQuillon(ReplacementOutcome* outcome) {
  if (outcome != nullptr) *outcome = ReplacementOutcome::UninstallFailed;
  return false;
}
