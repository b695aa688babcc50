#include "lint/CheckSelection.h"

namespace ostrel {

CheckSelection::CheckSelection() : states(lintChecks().size()) {}

std::string CheckSelection::apply(TextRef flag) {
  if (flag == "all") {
    for (State &state : states)
      state.enabled = true;
    return "";
  }
  if (flag == "error") {
    allErrors = true;
    return "";
  }
  if (flag == "no-error") {
    allErrors = false;
    return "";
  }
  TextRef name = flag;
  bool off = consumeFront(name, "no-");
  bool severityOnly = consumeFront(name, "error=");
  std::optional<LintCheck> check = checkNamed(name);
  if (!check) {
    std::string message = "unknown check '" + std::string(name) + "' in -W" +
                          std::string(flag) + "; the checks are:";
    for (const LintCheckInfo &info : lintChecks())
      message += " " + std::string(info.name);
    return message;
  }
  State &state = states[index(*check)];
  if (severityOnly) {
    state.error = !off;
    state.enabled |= !off;
  } else {
    state.enabled = !off;
  }
  return "";
}

DiagSeverity CheckSelection::severity(LintCheck check) const {
  if (allErrors || states[index(check)].error)
    return DiagSeverity::Error;
  return lintChecks()[index(check)].severity;
}

} // namespace ostrel
