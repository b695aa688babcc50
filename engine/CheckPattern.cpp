#include "engine/CheckPattern.h"

CheckPattern::CheckPattern(CheckKind kind, VariableContext &context,
                           std::optional<unsigned> lineNumber)
    : context(&context), kind(kind), lineNumber(lineNumber) {}

bool CheckPattern::parse(TextRef text, TextRef, SourceRegistry &, const CheckOptions &options) {
  ignoreCase = options.ignoreCase;
  location = text.data();
  fixedText = text;
  return false;
}
