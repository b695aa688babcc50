#include "engine/CheckPattern.h"

#include "engine/numeric/NumericExpressionParser.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/OutputStream.h"
#include "support/regex/CompiledRegex.h"

#include <cstdlib>
#include <string>

namespace {

void reportError(SourceRegistry &registry, SourceLocation location, TextRef message) {
  registry.report(location, DiagSeverity::Error, message);
}

/// Offset of the first "{{" or "[[" in `text` at or after `from`, or the size.
size_t nextBlockStart(TextRef text, size_t from) {
  size_t regex = text.find("{{", from);
  size_t subst = text.find("[[", from);
  size_t next = std::min(regex, subst);
  return next == TextRef::npos ? text.size() : next;
}

/// Offset of the "]]" that ends a substitution block whose text (after the
/// "[[") is `text`, or npos. Brackets nest, a backslash hides the next
/// character. A "]" with nothing open cannot be recovered from: it ends the
/// process.
size_t findBlockEnd(TextRef text, SourceRegistry &registry) {
  size_t depth = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (depth == 0 && c == ']' && i + 1 < text.size() && text[i + 1] == ']')
      return i;
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == '[') {
      ++depth;
    } else if (c == ']') {
      if (depth == 0) {
        reportError(registry, text.data() + i, "missing closing \"]\" for regex variable");
        standardError().flush();
        std::exit(1);
      }
      --depth;
    }
    ++i;
  }
  return TextRef::npos;
}

/// Length of the bracket expression that starts at text[0] == '['. The
/// expression is known to be valid, so a missing end just takes the rest.
size_t bracketExpressionLength(TextRef text) {
  if (text.starts_with("[[:<:]]") || text.starts_with("[[:>:]]"))
    return 7;
  size_t i = 1;
  if (i < text.size() && text[i] == '^')
    ++i;
  if (i < text.size() && text[i] == ']')
    ++i;
  while (i < text.size() && text[i] != ']') {
    if (text[i] == '[' && i + 1 < text.size() &&
        (text[i + 1] == ':' || text[i + 1] == '=' || text[i + 1] == '.')) {
      char closer[] = {text[i + 1], ']', '\0'};
      size_t end = text.find(closer, i + 2);
      if (end == TextRef::npos)
        return text.size();
      i = end + 2;
    } else {
      ++i;
    }
  }
  return std::min(i + 1, text.size());
}

} // namespace

CheckPattern::CheckPattern(CheckKind kind, VariableContext &context,
                           std::optional<unsigned> lineNumber)
    : context(&context), kind(kind), lineNumber(lineNumber) {}

bool CheckPattern::parse(TextRef text, TextRef prefix, SourceRegistry &registry,
                         const CheckOptions &options) {
  location = text.data();
  ignoreCase = options.ignoreCase;
  bool fullLine = options.matchFullLines && kind.type != DirectiveType::Not;

  if (!(options.strictWhitespace && options.matchFullLines))
    text = trimRight(text, " \t");

  if (text.empty()) {
    if (kind.type == DirectiveType::Empty) {
      regexText = "(\n$)";
      return false;
    }
    reportError(registry, location,
                "found empty check string with prefix '" + std::string(prefix) + ":'");
    return true;
  }
  if (kind.type == DirectiveType::Empty) {
    reportError(registry, location,
                "found non-empty check string for empty check with prefix '" +
                    std::string(prefix) + ":'");
    return true;
  }

  if (kind.literal()) {
    fixedText = text;
    return false;
  }
  if (!fullLine && (text.size() < 2 || (text.find("{{") == TextRef::npos &&
                                        text.find("[[") == TextRef::npos))) {
    fixedText = text;
    return false;
  }

  if (fullLine) {
    regexText += '^';
    if (!options.strictWhitespace)
      regexText += " *";
  }

  TextRef rest = text;
  while (!rest.empty()) {
    if (rest.starts_with("{{")) {
      TextRef inner = rest.substr(2);
      size_t end = inner.find("}}");
      if (end == TextRef::npos) {
        reportError(registry, rest.data(), "found start of regex string with no end '}}'");
        return true;
      }
      regexText += '(';
      ++curGroup;
      writtenRegexes.push_back(inner.substr(0, end));
      if (appendRegex(inner.substr(0, end), inner.data(), registry))
        return true;
      regexText += ')';
      rest = inner.substr(end + 2);
    } else if (rest.starts_with("[[") && !(rest.size() >= 3 && rest[2] == '[')) {
      if (parseSubstitutionBlock(rest, registry))
        return true;
    } else {
      size_t end = nextBlockStart(rest, 1);
      regexText += CompiledRegex::escapeText(rest.substr(0, end));
      rest.remove_prefix(end);
    }
  }

  if (fullLine) {
    if (!options.strictWhitespace)
      regexText += " *";
    regexText += '$';
  }
  return false;
}

bool CheckPattern::appendRegex(TextRef expression, SourceLocation errorAt,
                               SourceRegistry &registry) {
  CompiledRegex regex(expression);
  std::string errorText;
  if (!regex.checkValid(errorText)) {
    reportError(registry, errorAt, "invalid regex: " + errorText);
    return true;
  }

  // The expression is appended after every earlier group of the pattern, so
  // its own group k is group firstGroup + k - 1 of the whole: renumber its
  // back-references to keep their meaning.
  unsigned firstGroup = curGroup;
  size_t i = 0;
  while (i < expression.size()) {
    char c = expression[i];
    if (c == '[') {
      size_t length = bracketExpressionLength(expression.substr(i));
      regexText += expression.substr(i, length);
      i += length;
      continue;
    }
    if (c == '\\' && i + 1 < expression.size()) {
      char next = expression[i + 1];
      if (next >= '1' && next <= '9') {
        unsigned group = firstGroup + static_cast<unsigned>(next - '1');
        if (group > 9) {
          reportError(registry, expression.data() + i,
                      "back-reference '\\" + std::string(1, next) +
                          "' in regex names group " + std::to_string(group) +
                          " of the whole pattern; can't back-reference groups above 9");
          return true;
        }
        regexText += '\\';
        regexText += static_cast<char>('0' + group);
      } else {
        regexText += expression.substr(i, 2);
      }
      i += 2;
      continue;
    }
    regexText += c;
    ++i;
  }
  curGroup += regex.groupCount();
  return false;
}

bool CheckPattern::parseSubstitutionBlock(TextRef &rest, SourceRegistry &registry) {
  TextRef blockStart = rest;
  TextRef content = rest.substr(2);
  size_t end = findBlockEnd(content, registry);
  TextRef block = content.substr(0, end == TextRef::npos ? content.size() : end);
  bool isNumeric = block.starts_with('#');
  if (isNumeric)
    block.remove_prefix(1);
  if (end == TextRef::npos) {
    reportError(registry, blockStart.data(), "Invalid substitution block, no ]] found");
    return true;
  }
  rest = content.substr(end + 2);

  size_t insertAt = regexText.size();
  bool isLegacyLine = false;
  // What the block does: define a variable (string or numeric), insert a
  // value (string or numeric use), or both for a numeric definition with an
  // expression.
  TextRef name;
  bool isStringDefinition = false;
  bool isStringUse = false;
  NumericVariable *definedNumeric = nullptr;
  std::optional<NumericExpression> numericUse;
  std::string captureExpression;
  TextRef captureText; // a string definition's expression, in the check text

  if (!isNumeric) {
    size_t colon = block.find(':');
    size_t blank = block.substr(0, colon).find_first_of(" \t");
    if (blank != TextRef::npos) {
      reportError(registry, block.data() + blank, "unexpected whitespace");
      return true;
    }
    TextRef afterName = block;
    ValueOrError<ParsedVariableName> parsed = parseVariableName(afterName, registry);
    if (!parsed) {
      printAllErrors(parsed.takeError(), standardError());
      return true;
    }
    name = parsed->name;
    if (colon != TextRef::npos) {
      if (parsed->isPseudo || !afterName.starts_with(':')) {
        reportError(registry, name.data(), "invalid name in string variable definition");
        return true;
      }
      if (context->lookupNumeric(name)) {
        reportError(registry, name.data(),
                    "numeric variable with name '" + std::string(name) + "' already exists");
        return true;
      }
      isStringDefinition = true;
      captureText = block.substr(colon + 1);
    } else if (parsed->isPseudo) {
      isLegacyLine = true;
    } else {
      if (!afterName.empty()) {
        reportError(registry, name.data(), "invalid name in string variable use");
        return true;
      }
      isStringUse = true;
    }
  }

  if (isNumeric || isLegacyLine) {
    std::optional<size_t> line;
    if (lineNumber)
      line = *lineNumber;
    ValueOrError<ParsedNumericBlock> parsed =
        parseNumericBlock(block, isLegacyLine, line, *context, registry);
    if (!parsed) {
      printAllErrors(parsed.takeError(), standardError());
      return true;
    }
    definedNumeric = parsed->definedVariable;
    if (parsed->expression.hasRoot()) {
      numericUse = std::move(parsed->expression);
    } else {
      ValueOrError<std::string> wildcard = numberWildcard(parsed->expression.format());
      if (!wildcard) {
        printAllErrors(wildcard.takeError(), standardError());
        return true;
      }
      captureExpression = std::move(*wildcard);
    }
  }

  bool isDefinition = isStringDefinition || definedNumeric;
  if (isDefinition) {
    regexText += '(';
    ++insertAt;
    if (isStringDefinition) {
      stringDefs[name] = curGroup;
      context->markStringName(name);
    } else {
      numericDefs[definedNumeric->name] = {definedNumeric, curGroup};
      context->enterNumeric(definedNumeric->name, *definedNumeric);
    }
    ++curGroup;
  }

  if (!captureText.empty()) {
    writtenRegexes.push_back(captureText);
    if (appendRegex(captureText, captureText.data(), registry))
      return true;
  } else if (!captureExpression.empty()) {
    // The number expression is made here, not written in the check file: a
    // precision beyond what a counted repetition allows is reported at the
    // block's format.
    if (appendRegex(captureExpression, block.data(), registry))
      return true;
  }

  if (isDefinition)
    regexText += ')';

  if (isStringUse) {
    auto earlier = stringDefs.find(name);
    if (earlier != stringDefs.end()) {
      unsigned group = earlier->second;
      if (group == 0 || group > 9) {
        reportError(registry, name.data(), "Can't back-reference more than 9 variables");
        return true;
      }
      regexText += '\\';
      regexText += static_cast<char>('0' + group);
      backReferences.push_back(name);
    } else {
      substitutions.push_back(&context->addStringSubstitution(name, insertAt));
    }
  } else if (numericUse) {
    substitutions.push_back(
        &context->addNumericSubstitution(block, std::move(*numericUse), insertAt));
  }
  return false;
}
