#include "engine/MatchDiag.h"

#include <utility>

namespace ostrel {

MatchDiag::MatchDiag(SourceRegistry &registry, CheckKind kind, SourceLocation checkLocation,
                     MatchOutcome outcome, SourceRange inputRange, std::string note)
    : kind(kind), checkLocation(checkLocation), outcome(outcome), note(std::move(note)) {
  auto [startLine, startColumn] = registry.lineColumnOf(inputRange.start);
  auto [endLine, endColumn] = registry.lineColumnOf(inputRange.end);
  inputStartLine = startLine;
  inputStartColumn = startColumn;
  inputEndLine = endLine;
  inputEndColumn = endColumn;
}

} // namespace ostrel
