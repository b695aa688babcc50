#include "engine/numeric/VariableContext.h"

#include "engine/numeric/NumericExpressionParser.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/FatalError.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

#include <string>
#include <utility>

namespace ostrel {

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
  StringVariable &variable = stringVariables[name];
  if (!std::exchange(variable.defined, true))
    definedStrings.push_back(&variable);
}

bool VariableContext::isStringName(TextRef name) const {
  const StringVariable *variable = stringVariables.find(name);
  return variable && variable->defined;
}

void VariableContext::setStringValue(TextRef name, TextRef value) {
  StringVariable &variable = stringVariables[name];
  variable.value = value;
  if (!std::exchange(variable.hasValue, true) && valuesTracked)
    withValues.emplace_back(name, &variable);
}

std::optional<TextRef> VariableContext::stringValue(TextRef name) const {
  const StringVariable *variable = stringVariables.find(name);
  if (!variable || !variable->hasValue)
    return std::nullopt;
  return variable->value;
}

void VariableContext::forgetLocalStrings() {
  if (!std::exchange(valuesTracked, true)) {
    stringVariables.forEach([&](TextRef name, StringVariable &variable) {
      if (variable.hasValue)
        withValues.emplace_back(name, &variable);
    });
  }
  std::erase_if(withValues, [](const auto &entry) {
    if (entry.first.starts_with('$'))
      return false;
    entry.second->hasValue = false;
    return true;
  });
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

void VariableContext::setNumericValue(NumericVariable &variable, NumericValue value,
                                      std::optional<TextRef> captured) {
  if (!variable.value && !variable.name.starts_with('$'))
    valuedLocals.push_back(&variable);
  variable.setValue(value, captured);
}

void VariableContext::forgetLocalVariables() {
  forgetLocalValues();
  std::erase_if(numericTable, [](const auto &entry) { return !entry.first.starts_with('$'); });
}

void VariableContext::forgetLocalValues() {
  forgetLocalStrings();
  for (NumericVariable *variable : valuedLocals)
    variable->clearValue();
  valuedLocals.clear();
  // "@LINE" is set before every pattern that uses it.
  if (lineNumberVariable)
    lineNumberVariable->clearValue();
}

std::vector<std::unique_ptr<Substitution>> VariableContext::takeSubstitutions(size_t from) {
  auto first = ownedSubstitutions.begin() + static_cast<std::ptrdiff_t>(from);
  auto last = ownedSubstitutions.end();
  std::vector<std::unique_ptr<Substitution>> taken(std::make_move_iterator(first),
                                                   std::make_move_iterator(last));
  ownedSubstitutions.erase(first, ownedSubstitutions.end());
  return taken;
}

VariableContext::ReadingState VariableContext::readingState() const {
  return {numericTable, definedStrings.size(), ownedVariables.size(), ownedSubstitutions.size()};
}

void VariableContext::restoreReadingState(ReadingState state) {
  numericTable = std::move(state.numericTable);
  for (size_t index = state.definedStrings; index != definedStrings.size(); ++index)
    definedStrings[index]->defined = false;
  definedStrings.resize(state.definedStrings);
  ownedSubstitutions.resize(state.ownedSubstitutions);
  ownedVariables.resize(state.ownedVariables);
}

namespace {

// One definition's text as it stands in the "Global defines" listing: a
// numeric one as "#[FMT,]NAME:EXPR", a string one as written.
struct WorkingDefinition {
  size_t offset;
  size_t length;
  bool numeric;
};

} // namespace

ErrorValue VariableContext::applyCommandLineDefinitions(std::span<const TextRef> definitions,
                                                        SourceRegistry &registry) {
  if (definitions.empty())
    return ErrorValue();

  std::string listing;
  std::vector<WorkingDefinition> working;
  working.reserve(definitions.size());
  for (size_t i = 0; i < definitions.size(); ++i) {
    TextRef definition = definitions[i];
    listing += "Global define #";
    listing += std::to_string(i + 1);
    listing += ": ";
    listing += definition;
    if (definition.starts_with('#')) {
      listing += " (parsed as: [[";
      size_t offset = listing.size();
      std::string rewritten(definition);
      size_t equals = rewritten.find('=');
      if (equals != std::string::npos)
        rewritten[equals] = ':';
      listing += rewritten;
      working.push_back({offset, rewritten.size(), true});
      listing += "]])";
    } else {
      working.push_back({listing.size() - definition.size(), definition.size(), false});
    }
    listing += '\n';
  }

  FileBufferPtr buffer = copyText(listing, "Global defines");
  if (!buffer)
    reportOutOfMemory("Allocation failed");
  const char *base = buffer->bufferStart();
  registry.addBuffer(std::move(buffer));

  ErrorValue errors;
  for (const WorkingDefinition &item : working) {
    TextRef text(base + item.offset, item.length);
    ErrorValue failure = item.numeric ? defineNumericFromCommandLine(text, registry)
                                      : defineStringFromCommandLine(text, registry);
    errors = combineErrors(std::move(errors), std::move(failure));
  }
  return errors;
}

ErrorValue VariableContext::defineNumericFromCommandLine(TextRef text, SourceRegistry &registry) {
  TextRef block = text.substr(1); // after the "#"
  ValueOrError<ParsedNumericBlock> parsed =
      parseNumericBlock(block, /*legacyLineExpression=*/false, std::nullopt, *this, registry);
  if (!parsed)
    return parsed.takeError();
  NumericVariable *variable = parsed->definedVariable;
  const NumericExpression &expression = parsed->expression;
  if (!variable || !expression.hasRoot()) {
    // Without an expression there is no value to give the variable.
    size_t colon = block.find(':');
    const char *at = colon == TextRef::npos ? block.data() + block.size()
                                            : block.data() + colon + 1;
    return DiagnosticError::make(registry, at,
                                 "missing numeric expression in command-line definition",
                                 SourceRange(at, block.data() + block.size()),
                                 DiagnosticKind::InvalidDefinition);
  }
  ValueOrError<NumericValue> value = expression.evaluate();
  if (!value)
    return value.takeError();
  setNumericValue(*variable, *value);
  enterNumeric(variable->name, *variable);
  return ErrorValue();
}

ErrorValue VariableContext::defineStringFromCommandLine(TextRef text, SourceRegistry &registry) {
  size_t equals = text.find('=');
  TextRef nameText = text.substr(0, equals);
  TextRef value = equals == TextRef::npos ? text.substr(text.size()) : text.substr(equals + 1);

  TextRef rest = nameText;
  ValueOrError<ParsedVariableName> parsed = parseVariableName(rest, registry);
  if (!parsed)
    return parsed.takeError();
  TextRef name = parsed->name;
  if (parsed->isPseudo || !rest.empty())
    return DiagnosticError::make(registry, nameText.data(),
                                 "invalid name in string variable definition '" +
                                     std::string(nameText) + "'",
                                 SourceRange::of(nameText), DiagnosticKind::InvalidDefinition);
  if (lookupNumeric(name))
    return DiagnosticError::make(registry, name.data(),
                                 "numeric variable with name '" + std::string(name) +
                                     "' already exists",
                                 SourceRange::of(name), DiagnosticKind::InvalidDefinition);
  // A repeated definition keeps the first value.
  if (!stringValue(name))
    setStringValue(name, value);
  markStringName(name);
  return ErrorValue();
}

} // namespace ostrel
