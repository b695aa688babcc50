#include "engine/numeric/NumericExpressionParser.h"

#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return c == '_' || isLetter(c) || isDecimalDigit(c); }

void skipBlanks(TextRef &text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  text.remove_prefix(i);
}

TextRef trimBlanks(TextRef text) { return trim(text, " \t"); }

// The text from `from` up to `to`, both inside one buffer.
TextRef span(const char *from, const char *to) {
  return TextRef(from, static_cast<size_t>(to - from));
}

enum class OperandRule { Any, VariableOnly, DecimalLiteralOnly };

struct ArithmeticFunction {
  TextRef name;
  ArithmeticOp op;
};

constexpr ArithmeticFunction arithmeticFunctions[] = {
    {"add", ArithmeticOp::Add}, {"div", ArithmeticOp::Div}, {"max", ArithmeticOp::Max},
    {"min", ArithmeticOp::Min}, {"mul", ArithmeticOp::Mul}, {"sub", ArithmeticOp::Sub},
};

struct BinaryOperator {
  char symbol;
  ArithmeticOp op;
};

constexpr BinaryOperator binaryOperators[] = {
    {'+', ArithmeticOp::Add},
    {'-', ArithmeticOp::Sub},
    {'*', ArithmeticOp::Mul},
    {'/', ArithmeticOp::Div},
};

using Subtree = std::unique_ptr<ExpressionNode>;

class BlockParser {
public:
  BlockParser(bool legacy, std::optional<size_t> lineNumber, VariableContext &context,
              SourceRegistry &registry)
      : legacy(legacy), lineNumber(lineNumber), context(context), registry(registry) {}

  ValueOrError<ParsedNumericBlock> parseBlock(TextRef block);

private:
  ErrorValue error(const char *location, const std::string &message) {
    return error(location, message, SourceRange(location, location));
  }
  ErrorValue error(const char *location, const std::string &message, SourceRange range,
                   DiagnosticKind kind = DiagnosticKind::InvalidNumericBlock) {
    return DiagnosticError::make(registry, location, message, range, kind);
  }
  // An error whose range runs from `location` to the end of the expression.
  ErrorValue errorToEnd(const char *location, const std::string &message) {
    return error(location, message, SourceRange(location, expressionEnd));
  }

  ValueOrError<NumberFormat> parseFormatSpecifier(TextRef specifier, uint32_t &precision);
  ValueOrError<Subtree> parseOperand(TextRef &text, OperandRule rule, bool constraintMissing);
  ValueOrError<Subtree> parseBinaryOperation(TextRef &text, const char *nodeStart, Subtree left);
  ValueOrError<Subtree> parseParenthesized(TextRef &text);
  ValueOrError<Subtree> parseCall(TextRef &text, TextRef name);
  ValueOrError<Subtree> parseVariableUse(TextRef name, bool isPseudo);
  ValueOrError<NumericVariable *> defineVariable(TextRef definition, NumberFormat format);

  bool legacy;
  std::optional<size_t> lineNumber;
  VariableContext &context;
  SourceRegistry &registry;
  const char *expressionEnd = nullptr;
  unsigned nesting = 0;
};

ValueOrError<NumberFormat> BlockParser::parseFormatSpecifier(TextRef specifier,
                                                             uint32_t &precision) {
  specifier = trimBlanks(specifier);
  const char *specifierEnd = specifier.data() + specifier.size();
  TextRef text = specifier;
  if (!consumeFront(text, "%"))
    return error(specifier.data(), "invalid matching format specification in expression",
                 SourceRange::of(specifier));

  const char *alternateAt = text.data();
  bool alternate = consumeFront(text, "#");

  if (consumeFront(text, ".")) {
    const char *digitsAt = text.data();
    uint64_t value = 0;
    size_t count = 0;
    bool tooLarge = false;
    while (count < text.size() && isDecimalDigit(text[count])) {
      value = value * 10 + static_cast<uint64_t>(text[count] - '0');
      if (value > UINT32_MAX)
        tooLarge = true, value = UINT32_MAX + uint64_t(1);
      ++count;
    }
    if (count == 0 || tooLarge)
      return error(digitsAt, "invalid precision in format specifier");
    precision = static_cast<uint32_t>(value);
    text.remove_prefix(count);
  }

  NumberKind kind = NumberKind::None;
  if (!text.empty()) {
    struct TypeChar {
      char c;
      NumberKind kind;
    };
    static constexpr TypeChar typeChars[] = {{'u', NumberKind::Unsigned},
                                             {'d', NumberKind::Signed},
                                             {'x', NumberKind::LowerHex},
                                             {'X', NumberKind::UpperHex}};
    const TypeChar *found = std::find_if(std::begin(typeChars), std::end(typeChars),
                                         [&](const TypeChar &t) { return t.c == text[0]; });
    if (found == std::end(typeChars))
      return error(text.data(), "invalid format specifier in expression");
    kind = found->kind;
    text.remove_prefix(1);
  }

  if (alternate && kind != NumberKind::LowerHex && kind != NumberKind::UpperHex)
    return error(alternateAt, "alternate form only supported for hex values");

  skipBlanks(text);
  if (!text.empty())
    return error(text.data(), "invalid matching format specification in expression",
                 SourceRange(text.data(), specifierEnd));
  return NumberFormat(kind, precision, alternate);
}

ValueOrError<Subtree> BlockParser::parseOperand(TextRef &text, OperandRule rule,
                                                bool constraintMissing) {
  const char *operandStart = text.data();
  if (!text.empty() && text[0] == '(') {
    if (rule != OperandRule::Any)
      return errorToEnd(operandStart, "parenthesized expression not permitted here");
    return parseParenthesized(text);
  }

  // Under rule Any a failed name only means a literal comes next; the
  // failure is not even made then, for making it copies the line for its
  // message, and a long chain of numbers would copy the line once per number.
  bool mayBeName = !text.empty() && (text[0] == '$' || text[0] == '@' || text[0] == '_' ||
                                     isLetter(text[0]));
  if ((rule == OperandRule::Any && mayBeName) || rule == OperandRule::VariableOnly) {
    TextRef afterName = text;
    ValueOrError<ParsedVariableName> parsed = parseVariableName(afterName, registry);
    if (parsed) {
      TextRef lookahead = afterName;
      skipBlanks(lookahead);
      if (!lookahead.empty() && lookahead[0] == '(') {
        if (rule == OperandRule::VariableOnly)
          return error(parsed->name.data(), "unexpected function call",
                       SourceRange::of(parsed->name));
        text = lookahead;
        return parseCall(text, parsed->name);
      }
      text = afterName;
      return parseVariableUse(parsed->name, parsed->isPseudo);
    }
    if (rule == OperandRule::VariableOnly)
      return parsed.takeError();
    dropError(parsed.takeError());
  }

  uint64_t magnitude = 0;
  TextRef rest = text;
  if (consumeUnsigned(rest, magnitude, rule == OperandRule::DecimalLiteralOnly ? 10 : 0)) {
    TextRef written = span(operandStart, rest.data());
    text = rest;
    return Subtree{std::make_unique<LiteralNode>(written, NumericValue::fromUnsigned(magnitude))};
  }
  rest = text;
  if (rule == OperandRule::Any && consumeFront(rest, "-") &&
      consumeUnsigned(rest, magnitude) && magnitude <= (uint64_t(1) << 63)) {
    TextRef written = span(operandStart, rest.data());
    text = rest;
    NumericValue value = NumericValue::fromSignedWord(~magnitude + 1);
    return Subtree{std::make_unique<LiteralNode>(written, value)};
  }

  std::string message = "invalid ";
  if (constraintMissing)
    message += "matching constraint or ";
  message += "operand format";
  return errorToEnd(operandStart, message);
}

ValueOrError<Subtree> BlockParser::parseBinaryOperation(TextRef &text, const char *nodeStart,
                                                        Subtree left) {
  skipBlanks(text);
  if (text.empty())
    return left;
  const char *operatorAt = text.data();
  const BinaryOperator *found =
      std::find_if(std::begin(binaryOperators), std::end(binaryOperators),
                   [&](const BinaryOperator &b) { return b.symbol == text[0]; });
  if (found == std::end(binaryOperators))
    return error(operatorAt, std::string("unsupported operation '") + text[0] + "'");
  text.remove_prefix(1);
  skipBlanks(text);
  if (text.empty())
    return error(text.data(), "missing operand in expression");

  ValueOrError<Subtree> right = parseOperand(
      text, legacy ? OperandRule::DecimalLiteralOnly : OperandRule::Any, false);
  if (!right)
    return right.takeError();
  TextRef written = span(nodeStart, text.data());
  return Subtree{std::make_unique<BinaryOpNode>(written, found->op, std::move(left),
                                                std::move(*right), registry)};
}

ValueOrError<Subtree> BlockParser::parseParenthesized(TextRef &text) {
  const char *openAt = text.data();
  if (++nesting > maxExpressionDepth)
    return errorToEnd(openAt, "numeric expression too deeply nested");
  text.remove_prefix(1);
  skipBlanks(text);
  if (text.empty())
    return error(text.data(), "missing operand in expression");

  ValueOrError<Subtree> inner = parseOperand(text, OperandRule::Any, false);
  if (!inner)
    return inner;
  Subtree result = std::move(*inner);
  skipBlanks(text);
  while (!text.empty() && text[0] != ')') {
    ValueOrError<Subtree> combined = parseBinaryOperation(text, text.data(), std::move(result));
    if (!combined)
      return combined;
    result = std::move(*combined);
    skipBlanks(text);
  }
  if (text.empty())
    return error(text.data(), "missing ')' at end of nested expression");
  text.remove_prefix(1);
  --nesting;
  return result;
}

ValueOrError<Subtree> BlockParser::parseCall(TextRef &text, TextRef name) {
  const ArithmeticFunction *function =
      std::find_if(std::begin(arithmeticFunctions), std::end(arithmeticFunctions),
                   [&](const ArithmeticFunction &f) { return f.name == name; });
  if (function == std::end(arithmeticFunctions))
    return error(name.data(), "call to undefined function '" + std::string(name) + "'",
                 SourceRange::of(name));
  if (++nesting > maxExpressionDepth)
    return errorToEnd(name.data(), "numeric expression too deeply nested");

  text.remove_prefix(1); // the "("
  skipBlanks(text);
  std::vector<Subtree> arguments;
  while (!text.empty() && text[0] != ')') {
    if (text[0] == ',')
      return errorToEnd(text.data(), "missing argument");
    const char *argumentStart = text.data();
    ValueOrError<Subtree> argument = parseOperand(text, OperandRule::Any, false);
    if (!argument)
      return argument;
    Subtree value = std::move(*argument);
    while (!text.empty()) {
      skipBlanks(text);
      if (!text.empty() && (text[0] == ',' || text[0] == ')'))
        break;
      ValueOrError<Subtree> combined =
          parseBinaryOperation(text, argumentStart, std::move(value));
      if (!combined)
        return combined;
      value = std::move(*combined);
    }
    arguments.push_back(std::move(value));

    skipBlanks(text);
    if (!consumeFront(text, ","))
      break;
    skipBlanks(text);
    if (!text.empty() && text[0] == ')')
      return errorToEnd(text.data(), "missing argument");
  }
  if (!consumeFront(text, ")"))
    return error(text.data(), "missing ')' at end of call expression");
  if (arguments.size() != 2)
    return error(name.data(),
                 "function '" + std::string(name) + "' takes 2 arguments but " +
                     std::to_string(arguments.size()) + " given",
                 SourceRange::of(name));
  --nesting;
  TextRef written = span(name.data(), text.data());
  return Subtree{std::make_unique<BinaryOpNode>(written, function->op, std::move(arguments[0]),
                                                std::move(arguments[1]), registry)};
}

ValueOrError<Subtree> BlockParser::parseVariableUse(TextRef name, bool isPseudo) {
  if (isPseudo && name != "@LINE")
    return error(name.data(), "invalid pseudo numeric variable '" + std::string(name) + "'");
  NumericVariable *variable = context.lookupNumeric(name);
  if (!variable) {
    // Unknown so far: a later definition may still give it a value, and
    // evaluating it before then reports the undefined variable.
    variable = &context.makeNumericVariable(name, NumberFormat(NumberKind::Unsigned));
    context.enterNumeric(name, *variable);
  }
  if (variable->definedOnLine && lineNumber && *variable->definedOnLine == *lineNumber)
    return error(name.data(),
                 "numeric variable '" + std::string(name) +
                     "' defined earlier in the same CHECK directive",
                 SourceRange::of(name), DiagnosticKind::SameDirectiveNumericUse);
  return Subtree{std::make_unique<VariableUseNode>(name, *variable)};
}

ValueOrError<NumericVariable *> BlockParser::defineVariable(TextRef definition,
                                                            NumberFormat format) {
  const char *definitionEnd = definition.data() + definition.size();
  TextRef text = definition;
  skipBlanks(text);
  ValueOrError<ParsedVariableName> parsed = parseVariableName(text, registry);
  if (!parsed)
    return parsed.takeError();
  TextRef name = parsed->name;
  if (parsed->isPseudo)
    return error(name.data(), "definition of pseudo numeric variable unsupported",
                 SourceRange::of(name));
  if (context.isStringName(name))
    return error(name.data(), "string variable with name '" + std::string(name) +
                                  "' already exists");
  skipBlanks(text);
  if (!text.empty())
    return error(text.data(), "unexpected characters after numeric variable name",
                 SourceRange(text.data(), definitionEnd));

  NumericVariable *known = context.lookupNumeric(name);
  if (!known)
    return &context.makeNumericVariable(name, format, lineNumber);
  if (known->format == format)
    return known;
  return error(definitionEnd, "format different from previous variable definition");
}

ValueOrError<ParsedNumericBlock> BlockParser::parseBlock(TextRef block) {
  TextRef rest = block;

  uint32_t precision = 0;
  NumberFormat explicitFormat;
  size_t comma = block.find(',');
  if (comma != TextRef::npos && block.substr(0, comma).find('(') == TextRef::npos) {
    ValueOrError<NumberFormat> format = parseFormatSpecifier(block.substr(0, comma), precision);
    if (!format)
      return format.takeError();
    explicitFormat = *format;
    rest = block.substr(comma + 1);
  }

  std::optional<TextRef> definition;
  size_t colon = rest.find(':');
  if (colon != TextRef::npos) {
    definition = rest.substr(0, colon);
    rest.remove_prefix(colon + 1);
  }

  skipBlanks(rest);
  bool hasConstraint = consumeFront(rest, "==");
  skipBlanks(rest);

  ParsedNumericBlock parsed;
  std::unique_ptr<ExpressionNode> root;
  if (rest.empty()) {
    if (hasConstraint)
      return error(rest.data(), "empty numeric expression should not have a constraint",
                   SourceRange(rest.data(), block.data() + block.size()));
  } else {
    TextRef text = trimRight(rest, " \t");
    expressionEnd = text.data() + text.size();
    const char *expressionStart = text.data();
    ValueOrError<Subtree> tree = parseOperand(
        text, legacy ? OperandRule::VariableOnly : OperandRule::Any, !hasConstraint);
    if (!tree)
      return tree.takeError();
    Subtree current = std::move(*tree);
    bool operationRead = false;
    while (!text.empty()) {
      if (legacy && operationRead)
        return error(text.data(),
                     "unexpected characters at end of expression '" + std::string(text) + "'");
      ValueOrError<Subtree> combined =
          parseBinaryOperation(text, expressionStart, std::move(current));
      if (!combined)
        return combined.takeError();
      current = std::move(*combined);
      operationRead = true;
    }
    root = std::move(current);
  }

  NumberFormat format = explicitFormat;
  if (format.kind == NumberKind::None && root) {
    ValueOrError<NumberFormat> implicit = root->implicitFormat();
    if (!implicit)
      return implicit.takeError();
    format = *implicit;
  }
  if (format.kind == NumberKind::None)
    format = NumberFormat(NumberKind::Unsigned, precision);

  if (definition) {
    ValueOrError<NumericVariable *> defined = defineVariable(*definition, format);
    if (!defined)
      return defined.takeError();
    parsed.definedVariable = *defined;
  }
  parsed.expression = NumericExpression(std::move(root), format);
  return parsed;
}

} // namespace

ValueOrError<ParsedVariableName> parseVariableName(TextRef &text, SourceRegistry &registry) {
  if (text.empty())
    return DiagnosticError::make(registry, text.data(), "empty variable name",
                                 SourceRange(text.data(), text.data()),
                                 DiagnosticKind::InvalidPattern);
  size_t length = 0;
  if (text[0] == '$' || text[0] == '@')
    length = 1;
  if (length >= text.size() || !(text[length] == '_' || isLetter(text[length])))
    return DiagnosticError::make(registry, text.data(), "invalid variable name",
                                 SourceRange::of(text), DiagnosticKind::InvalidPattern);
  while (length < text.size() && isNameChar(text[length]))
    ++length;
  ParsedVariableName parsed{text.substr(0, length), text[0] == '@'};
  text.remove_prefix(length);
  return parsed;
}

ValueOrError<ParsedNumericBlock> parseNumericBlock(TextRef block, bool legacyLineExpression,
                                                   std::optional<size_t> lineNumber,
                                                   VariableContext &context,
                                                   SourceRegistry &registry) {
  BlockParser parser(legacyLineExpression, lineNumber, context, registry);
  return parser.parseBlock(block);
}

} // namespace ostrel
