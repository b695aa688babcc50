#ifndef OSTREL_LINT_CHECKSELECTION_H
#define OSTREL_LINT_CHECKSELECTION_H

/// Which checks report, and how severe their findings are, set like a
/// compiler's warnings by -W values applied in order.

#include "lint/LintCheck.h"
#include "support/diag/SeverityLabel.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

class CheckSelection {
public:
  /// Every check on, each at the severity of the check table.
  CheckSelection();

  /// Applies the value of one -W option: "<check>" turns the check on,
  /// "no-<check>" off, "all" turns every check on, "error" makes every
  /// finding an error, "error=<check>" that check's findings (and turns it
  /// on), "no-error=<check>" gives it back its own severity. Answers a
  /// message naming the checks when the value names no check, else "".
  std::string apply(TextRef flag);

  bool enabled(LintCheck check) const { return states[index(check)].enabled; }
  DiagSeverity severity(LintCheck check) const;

private:
  struct State {
    bool enabled = true;
    bool error = false;
  };
  static size_t index(LintCheck check) { return static_cast<size_t>(check); }

  std::vector<State> states;
  bool allErrors = false;
};

} // namespace ostrel

#endif
