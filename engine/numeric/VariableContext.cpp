#include "engine/numeric/VariableContext.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/NumericExpressionParser.h"
#include "support/diag/SourceRegistry.h"

VariableContext::VariableContext() = default;
VariableContext::~VariableContext() = default;

NumericVariable &VariableContext::makeNumericVariable(TextRef name, NumberFormat format,
                                                      std::optional<size_t> definedOnLine) {
  ownedVariables.push_back(std::make_unique<NumericVariable>(name, format, definedOnLine));
  return *ownedVariables.back();
}

NumericVariable &VariableContext::createLineNumberVariable() {
  NumericVariable &line = makeNumericVariable("@LINE", NumberFormat(NumberKind::Unsigned));
  lineNumberVariable = &line;
  enterNumeric(line.name, line);
  return line;
}

NumericVariable *VariableContext::lookupNumeric(TextRef name) const {
  auto found = numericTable.find(name);
  return found == numericTable.end() ? nullptr : found->second;
}

void VariableContext::enterNumeric(TextRef name, NumericVariable &variable) {
  auto found = numericTable.find(name);
  if (found != numericTable.end())
    found->second = &variable;
  else
    numericTable.emplace(std::string(name), &variable);
}

void VariableContext::markStringName(TextRef name) {
  if (stringNames.find(name) == stringNames.end())
    stringNames.emplace(std::string(name), true);
}

bool VariableContext::isStringName(TextRef name) const {
  return stringNames.find(name) != stringNames.end();
}

void VariableContext::setStringValue(TextRef name, TextRef value) {
  auto found = stringValues.find(name);
  if (found != stringValues.end())
    found->second = value;
  else
    stringValues.emplace(std::string(name), value);
}

std::optional<TextRef> VariableContext::stringValue(TextRef name) const {
  auto found = stringValues.find(name);
  if (found == stringValues.end())
    return std::nullopt;
  return found->second;
}

Substitution &VariableContext::addStringSubstitution(TextRef name, size_t insertAt) {
  ownedSubstitutions.push_back(std::make_unique<StringSubstitution>(*this, name, insertAt));
  return *ownedSubstitutions.back();
}

Substitution &VariableContext::addNumericSubstitution(TextRef blockText,
                                                      NumericExpression expression,
                                                      size_t insertAt) {
  ownedSubstitutions.push_back(
      std::make_unique<NumericSubstitution>(*this, blockText, std::move(expression), insertAt));
  return *ownedSubstitutions.back();
}

void VariableContext::forgetLocalVariables() {
  std::vector<std::string> localStrings;
  for (const auto &[name, value] : stringValues)
    if (!name.starts_with('$'))
      localStrings.push_back(name);
  std::vector<std::string> localNumerics;
  for (const auto &[name, variable] : numericTable) {
    if (name.starts_with('$'))
      continue;
    variable->clearValue();
    localNumerics.push_back(name);
  }
  for (const std::string &name : localStrings)
    stringValues.erase(name);
  for (const std::string &name : localNumerics)
    numericTable.erase(name);
}

ErrorValue VariableContext::applyCommandLineDefinitions(std::span<const TextRef> definitions,
                                                        SourceRegistry &registry) {
  (void)definitions;
  (void)registry;
  return ErrorValue(); // Not implemented yet.
}
