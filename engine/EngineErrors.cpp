#include "engine/EngineErrors.h"

#include "support/diag/OutputStream.h"

namespace ostrel {

void PatternNotFoundError::print(OutputStream &os) const { os << "String not found in input"; }

ErrorValue makeUnbalancedBracketError() { return makeError<UnbalancedBracketError>(); }
ErrorValue makePatternNotFoundError() { return makeError<PatternNotFoundError>(); }

} // namespace ostrel
