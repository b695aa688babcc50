#include "engine/numeric/NumericExpressionParser.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/SourceRegistry.h"

// Placeholder bodies until the parser lands.
ValueOrError<ParsedVariableName> parseVariableName(TextRef &text, SourceRegistry &registry) {
  return DiagnosticError::make(registry, text.data(), "empty variable name");
}

ValueOrError<ParsedNumericBlock> parseNumericBlock(TextRef block, bool, std::optional<size_t>,
                                                   VariableContext &, SourceRegistry &registry) {
  return DiagnosticError::make(registry, block.data(), "not implemented yet");
}
