#include "engine/CheckPattern.h"

#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/numeric/NumericExpressionParser.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"
#include "support/regex/CompiledRegex.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace ostrel {

namespace {

/// Reports an error at `location` and answers that it has been reported.
ErrorValue reportError(DiagnosticSink &sink, const SourceRegistry &registry,
                       SourceLocation location, TextRef message,
                       DiagnosticKind kind = DiagnosticKind::InvalidPattern) {
  sink.report(registry, location, DiagSeverity::Error, message, kind);
  return makeAlreadyReportedError();
}

/// The place of `name` among `defs`, or where it belongs.
StringDefinitions::iterator findDefinition(StringDefinitions &defs, TextRef name) {
  return std::lower_bound(defs.begin(), defs.end(), name,
                          [](const auto &entry, TextRef wanted) { return entry.first < wanted; });
}

/// Offset of the first "{{" or "[[" in `text` at or after `from`, or the size.
/// One scan that stops at the nearest: a pattern of many blocks is read in
/// time linear in its length.
size_t nextBlockStart(TextRef text, size_t from) {
  for (size_t at = text.find_first_of("{[", from); at != TextRef::npos;
       at = text.find_first_of("{[", at + 1))
    if (at + 1 < text.size() && text[at + 1] == text[at])
      return at;
  return text.size();
}

/// Where the text of a substitution block (after the "[[") ends.
struct BlockEnd {
  /// Offset of the closing "]]" (npos when there is none), or of the stray "]".
  size_t offset = TextRef::npos;
  /// A "]" that closes nothing comes first.
  bool stray = false;
};

/// Finds the "]]" that ends a substitution block whose text is `text`.
/// Brackets nest, a backslash hides the next character.
BlockEnd findBlockEnd(TextRef text) {
  size_t depth = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (depth == 0 && c == ']' && i + 1 < text.size() && text[i + 1] == ']')
      return {i, false};
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == '[') {
      ++depth;
    } else if (c == ']') {
      if (depth == 0)
        return {i, true};
      --depth;
    }
    ++i;
  }
  return {};
}

} // namespace

CheckPattern::CheckPattern(CheckKind kind, VariableContext &context,
                           std::optional<unsigned> lineNumber)
    : kind(kind), lineNumber(lineNumber), context(&context) {}

const PatternDetails &CheckPattern::details() const {
  static const PatternDetails none;
  return extra ? *extra : none;
}

PatternDetails &CheckPattern::editDetails() {
  if (!extra)
    extra = std::make_shared<PatternDetails>();
  else if (extra.use_count() > 1)
    extra = std::make_shared<PatternDetails>(*extra);
  return *extra;
}

ErrorValue CheckPattern::parse(TextRef text, TextRef prefix, SourceRegistry &registry,
                               const CheckOptions &options, DiagnosticSink &sink) {
  location = text.data();
  ignoreCase = options.ignoreCase;
  bool fullLine = options.matchFullLines && kind.type != DirectiveType::Not;

  if (!(options.strictWhitespace && options.matchFullLines))
    text = trimRight(text, " \t");

  if (text.empty()) {
    if (kind.type == DirectiveType::Empty) {
      editDetails().regexText = "(\n$)";
      return ErrorValue::success();
    }
    return reportError(sink, registry, location,
                       "found empty check string with prefix '" + std::string(prefix) + ":'",
                       DiagnosticKind::EmptyPattern);
  }
  if (kind.type == DirectiveType::Empty) {
    return reportError(sink, registry, location,
                       "found non-empty check string for empty check with prefix '" +
                           std::string(prefix) + ":'",
                       DiagnosticKind::EmptyPattern);
  }

  if (kind.literal()) {
    fixedText = text;
    return ErrorValue::success();
  }
  if (!fullLine && (text.size() < 2 || (text.find("{{") == TextRef::npos &&
                                        text.find("[[") == TextRef::npos))) {
    fixedText = text;
    return ErrorValue::success();
  }

  // Every part of the pattern from here on is in its details.
  PatternDetails &parts = editDetails();
  std::string &regexText = parts.regexText;
  if (fullLine && text.find("{{") == TextRef::npos && text.find("[[") == TextRef::npos) {
    parts.fullLineText = text;
    parts.fullLineBlanks = !options.strictWhitespace;
  }
  if (fullLine) {
    parts.pieces.discard();
    regexText += '^';
    if (!options.strictWhitespace)
      regexText += " *";
  }

  TextRef rest = text;
  bool regexPieces = fullLine;
  while (!rest.empty()) {
    if (rest.starts_with("{{")) {
      regexPieces = true;
      TextRef inner = rest.substr(2);
      size_t end = inner.find("}}");
      if (end == TextRef::npos) {
        return reportError(sink, registry, rest.data(),
                           "found start of regex string with no end '}}'");
      }
      regexText += '(';
      unsigned group = parts.curGroup++;
      size_t pieceStart = regexText.size();
      parts.writtenRegexes.push_back(inner.substr(0, end));
      if (ErrorValue error = appendRegex(inner.substr(0, end), inner.data(), registry, sink))
        return error;
      parts.pieces.addPiece(pieceStart, regexText.size(), group);
      regexText += ')';
      rest = inner.substr(end + 2);
    } else if (rest.starts_with("[[") && !(rest.size() >= 3 && rest[2] == '[')) {
      if (ErrorValue error = parseSubstitutionBlock(rest, registry, sink))
        return error;
    } else {
      size_t end = nextBlockStart(rest, 1);
      CompiledRegex::appendEscaped(regexText, rest.substr(0, end));
      parts.pieces.addText(rest.substr(0, end));
      rest.remove_prefix(end);
    }
  }

  if (fullLine) {
    if (!options.strictWhitespace)
      regexText += " *";
    regexText += '$';
  }
  regexIsText = !regexPieces && stringDefs().empty() && numericDefs().empty();
  if (numericDefs().size() > 1) {
    // The order of a hash map keyed by name (see NumericDefinitions): the
    // same names entered in the same order are listed the same way.
    std::unordered_map<TextRef, std::pair<NumericVariable *, unsigned>> listed;
    for (const auto &[name, definition] : numericDefs())
      listed[name] = definition;
    editDetails().numericDefs.assign(listed.begin(), listed.end());
  }
  return ErrorValue::success();
}

ErrorValue CheckPattern::appendRegex(TextRef expression, SourceLocation errorAt,
                                     SourceRegistry &registry, DiagnosticSink &sink) {
  // The same few expressions come back in directive after directive (every
  // numeric definition brings its format's), and compiling one only to learn
  // that it is valid is most of reading such a directive: the group counts of
  // short valid ones are remembered, up to a bound.
  static constexpr size_t knownLimit = 4096;
  static constexpr size_t knownLength = 256;
  thread_local std::unordered_map<std::string, unsigned> knownValid;
  unsigned groupCount;
  const bool rememberable = expression.size() <= knownLength;
  auto known = rememberable ? knownValid.find(std::string(expression)) : knownValid.end();
  if (known != knownValid.end()) {
    groupCount = known->second;
  } else {
    CompiledRegex regex(expression);
    std::string errorText;
    if (!regex.checkValid(errorText)) {
      return reportError(sink, registry, errorAt, "invalid regex: " + errorText);
    }
    groupCount = regex.groupCount();
    if (rememberable && knownValid.size() < knownLimit)
      knownValid.emplace(expression, groupCount);
  }

  // The expression is appended after every earlier group of the pattern, so
  // its own group k is group firstGroup + k - 1 of the whole: renumber its
  // back-references to keep their meaning.
  PatternDetails &parts = editDetails();
  std::string &regexText = parts.regexText;
  unsigned firstGroup = parts.curGroup;
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
          return reportError(sink, registry, expression.data() + i,
                             "back-reference '\\" + std::string(1, next) +
                                 "' in regex names group " + std::to_string(group) +
                                 " of the whole pattern; can't back-reference groups above 9");
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
  parts.curGroup += groupCount;
  return ErrorValue::success();
}

/// What one substitution block does: define a variable (string or
/// numeric) whose value a capture group takes, insert a value (string or
/// numeric use), or both for a numeric definition with an expression.
struct SubstitutionBlock {
  /// Between the brackets, without the "#" of a numeric block.
  TextRef text;
  /// A string variable defined here, and the expression its value matches.
  TextRef stringDefined;
  TextRef stringCapture;
  /// A string variable whose value is inserted here.
  TextRef stringUsed;
  /// A numeric variable defined here, and the expression made from its
  /// format that its value matches when the block has no expression.
  NumericVariable *numericDefined = nullptr;
  std::string numberCapture;
  /// A numeric expression whose value is inserted here.
  std::optional<NumericExpression> numericUse;
};

namespace {

/// Reads a block without "#": a string variable's definition or use. A
/// pseudo variable (@LINE) only sets `legacyLine`: the block is then read as
/// a numeric one.
ErrorValue readStringBlock(SubstitutionBlock &block, bool &legacyLine, VariableContext &context,
                           SourceRegistry &registry, DiagnosticSink &sink) {
  TextRef text = block.text;
  size_t colon = text.find(':');
  size_t blank = text.substr(0, colon).find_first_of(" \t");
  if (blank != TextRef::npos)
    return reportError(sink, registry, text.data() + blank, "unexpected whitespace");
  TextRef afterName = text;
  ValueOrError<ParsedVariableName> parsed = parseVariableName(afterName, registry);
  if (!parsed) {
    sink.reportErrors(parsed.takeError(), DiagnosticKind::InvalidPattern);
    return makeAlreadyReportedError();
  }
  TextRef name = parsed->name;
  if (colon != TextRef::npos) {
    if (parsed->isPseudo || !afterName.starts_with(':'))
      return reportError(sink, registry, name.data(), "invalid name in string variable definition");
    if (context.lookupNumeric(name))
      return reportError(sink, registry, name.data(),
                         "numeric variable with name '" + std::string(name) + "' already exists");
    block.stringDefined = name;
    block.stringCapture = text.substr(colon + 1);
  } else if (parsed->isPseudo) {
    legacyLine = true;
  } else {
    if (!afterName.empty())
      return reportError(sink, registry, name.data(), "invalid name in string variable use");
    block.stringUsed = name;
  }
  return ErrorValue::success();
}

/// Reads a numeric block, or a legacy line expression such as @LINE+1.
ErrorValue readNumericBlock(SubstitutionBlock &block, bool legacyLine,
                            std::optional<unsigned> lineNumber, VariableContext &context,
                            SourceRegistry &registry, DiagnosticSink &sink) {
  std::optional<size_t> line;
  if (lineNumber)
    line = *lineNumber;
  ValueOrError<ParsedNumericBlock> parsed =
      parseNumericBlock(block.text, legacyLine, line, context, registry);
  if (!parsed) {
    sink.reportErrors(parsed.takeError(), DiagnosticKind::InvalidPattern);
    return makeAlreadyReportedError();
  }
  block.numericDefined = parsed->definedVariable;
  if (parsed->expression.hasRoot()) {
    block.numericUse = std::move(parsed->expression);
    return ErrorValue::success();
  }
  ValueOrError<std::string> wildcard = numberWildcard(parsed->expression.format());
  if (!wildcard) {
    sink.reportErrors(wildcard.takeError(), DiagnosticKind::InvalidNumericBlock);
    return makeAlreadyReportedError();
  }
  block.numberCapture = std::move(*wildcard);
  return ErrorValue::success();
}

} // namespace

ErrorValue CheckPattern::parseSubstitutionBlock(TextRef &rest, SourceRegistry &registry,
                                                DiagnosticSink &sink) {
  TextRef content = rest.substr(2);
  BlockEnd blockEnd = findBlockEnd(content);
  if (blockEnd.stray) {
    sink.report(registry, content.data() + blockEnd.offset, DiagSeverity::Error,
                "missing closing \"]\" for regex variable", DiagnosticKind::InvalidPattern);
    return makeUnbalancedBracketError();
  }
  if (blockEnd.offset == TextRef::npos)
    return reportError(sink, registry, rest.data(), "Invalid substitution block, no ]] found");
  SubstitutionBlock block;
  block.text = content.substr(0, blockEnd.offset);
  rest = content.substr(blockEnd.offset + 2);

  bool isNumeric = block.text.starts_with('#');
  if (isNumeric)
    block.text.remove_prefix(1);
  bool legacyLine = false;
  if (!isNumeric) {
    if (ErrorValue error = readStringBlock(block, legacyLine, *context, registry, sink))
      return error;
  }
  if (isNumeric || legacyLine) {
    if (ErrorValue error =
            readNumericBlock(block, legacyLine, lineNumber, *context, registry, sink))
      return error;
  }
  return appendBlock(block, registry, sink);
}

ErrorValue CheckPattern::appendBlock(SubstitutionBlock &block, SourceRegistry &registry,
                                     DiagnosticSink &sink) {
  PatternDetails &parts = editDetails();
  std::string &regexText = parts.regexText;
  size_t insertAt = regexText.size();
  bool isDefinition = !block.stringDefined.empty() || block.numericDefined;
  unsigned definitionGroup = parts.curGroup;
  if (isDefinition) {
    regexText += '(';
    ++insertAt;
    if (!block.stringDefined.empty()) {
      auto place = findDefinition(parts.stringDefs, block.stringDefined);
      if (place != parts.stringDefs.end() && place->first == block.stringDefined)
        place->second = parts.curGroup;
      else
        parts.stringDefs.emplace(place, block.stringDefined, parts.curGroup);
      context->markStringName(block.stringDefined);
    } else {
      NumericVariable &variable = *block.numericDefined;
      auto same = std::find_if(parts.numericDefs.begin(), parts.numericDefs.end(),
                               [&](const auto &entry) { return entry.first == variable.name; });
      if (same != parts.numericDefs.end())
        same->second = {&variable, parts.curGroup};
      else
        parts.numericDefs.emplace_back(variable.name, std::make_pair(&variable, parts.curGroup));
      context->enterNumeric(variable.name, variable);
    }
    ++parts.curGroup;
  }

  if (!block.stringCapture.empty()) {
    parts.writtenRegexes.push_back(block.stringCapture);
    if (ErrorValue error =
            appendRegex(block.stringCapture, block.stringCapture.data(), registry, sink))
      return error;
  } else if (!block.numberCapture.empty()) {
    // The number expression is made here, not written in the check file: a
    // precision beyond what a counted repetition allows is reported at the
    // block's format.
    if (ErrorValue error = appendRegex(block.numberCapture, block.text.data(), registry, sink))
      return error;
  }

  if (isDefinition) {
    // A definition with an expression puts the value inside its group.
    if (block.numericUse)
      parts.pieces.discard();
    else
      parts.pieces.addPiece(insertAt, regexText.size(), definitionGroup);
    regexText += ')';
  }

  if (!block.stringUsed.empty()) {
    auto earlier = findDefinition(parts.stringDefs, block.stringUsed);
    if (earlier == parts.stringDefs.end() || earlier->first != block.stringUsed) {
      parts.pieces.addValue(parts.substitutions.size());
      parts.substitutions.push_back(&context->addStringSubstitution(block.stringUsed, insertAt));
      return ErrorValue::success();
    }
    // Groups are numbered from 1, so only a group beyond 9 cannot be named.
    unsigned group = earlier->second;
    if (group > 9)
      return reportError(sink, registry, block.stringUsed.data(),
                         "Can't back-reference more than 9 variables");
    regexText += '\\';
    regexText += static_cast<char>('0' + group);
    parts.backReferences.push_back(block.stringUsed);
    parts.pieces.discard();
  } else if (block.numericUse) {
    if (!isDefinition)
      parts.pieces.addValue(parts.substitutions.size());
    parts.substitutions.push_back(
        &context->addNumericSubstitution(block.text, std::move(*block.numericUse), insertAt));
  }
  return ErrorValue::success();
}

} // namespace ostrel
