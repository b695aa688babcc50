#include "lint/PatternChecks.h"

#include "engine/numeric/ExpressionNode.h"
#include "engine/numeric/Substitution.h"
#include "lint/RegexEscapes.h"
#include "support/regex/CompiledRegex.h"

#include <map>
#include <set>
#include <string>

namespace ostrel {

namespace {

/// The variables defined so far, each with whether anything used it yet.
class VariableTracker {
public:
  VariableTracker(const std::vector<TextRef> &defines, std::vector<Finding> &findings)
      : findings(findings) {
    for (TextRef definition : defines)
      commandLine.insert(std::string(definedName(definition)));
  }

  void use(TextRef name) {
    if (name == "@LINE")
      return;
    auto found = live.find(name);
    if (found != live.end())
      found->second.used = true;
    else if (!commandLine.contains(name))
      findings.push_back(Finding{LintCheck::UndefinedVariable, name.data(), SourceRange::of(name),
                                 "variable '" + std::string(name) +
                                     "' is not defined by an earlier directive or by -D"});
  }

  void define(TextRef name) {
    auto [entry, added] = live.try_emplace(std::string(name), Capture{name, false});
    if (!added) {
      if (!entry->second.used)
        unused(entry->second, " before it is captured again");
      entry->second = Capture{name, false};
    }
  }

  /// Ends every variable whose name does not begin with "$".
  void endLocals() {
    for (auto it = live.begin(); it != live.end();) {
      if (it->first.starts_with("$")) {
        ++it;
        continue;
      }
      if (!it->second.used)
        unused(it->second, " before its CHECK-LABEL block ends");
      it = live.erase(it);
    }
    std::erase_if(commandLine, [](const std::string &name) { return !name.starts_with("$"); });
  }

  void finish() {
    for (auto &[name, capture] : live)
      if (!capture.used)
        unused(capture, "");
    live.clear();
  }

private:
  struct Capture {
    TextRef name; // where it was captured
    bool used;
  };

  void unused(const Capture &capture, const char *when) {
    findings.push_back(Finding{LintCheck::UnusedVariable, capture.name.data(),
                               SourceRange::of(capture.name),
                               "variable '" + std::string(capture.name) +
                                   "' is captured but no later directive uses it" + when});
  }

  std::vector<Finding> &findings;
  std::map<std::string, Capture, std::less<>> live;
  std::set<std::string, std::less<>> commandLine;
};

void useExpressionVariables(const ExpressionNode &node, VariableTracker &variables) {
  if (auto *use = dynamic_cast<const VariableUseNode *>(&node)) {
    variables.use(use->text());
  } else if (auto *operation = dynamic_cast<const BinaryOpNode *>(&node)) {
    useExpressionVariables(operation->left(), variables);
    useExpressionVariables(operation->right(), variables);
  }
}

/// True when the pattern can match an empty stretch between two ordinary
/// characters. Anchors make a pattern depend on where it is, so a pattern
/// that needs a line start or end (an empty line, say) is not counted.
bool matchesEmptyText(const CheckPattern &pattern) {
  if (!pattern.fixedText.empty() || !pattern.substitutions().empty() || pattern.regexText().empty())
    return false;
  CompiledRegex between("x" + pattern.regexText() + "x");
  return between.isValid() && between.search("xx");
}

void checkPattern(const CheckPattern &pattern, const PatternSource &source,
                  VariableTracker &variables, std::vector<Finding> &findings) {
  for (TextRef expression : pattern.writtenRegexes())
    findRegexEscapes(expression, findings);

  if (pattern.kind.type != DirectiveType::Empty && matchesEmptyText(pattern)) {
    bool negative = pattern.kind.type == DirectiveType::Not;
    findings.push_back(Finding{
        LintCheck::EmptyMatch, pattern.location, SourceRange::of(source.text),
        "the pattern of '" + description(pattern.kind, source.prefix) +
            ":' can match the empty text, so the directive " +
            (negative ? "always fails" : "checks nothing")});
  }

  // Substitutions use values captured before this pattern; its own
  // definitions follow, and a back-reference uses one of them.
  for (const Substitution *substitution : pattern.substitutions()) {
    if (auto *numeric = dynamic_cast<const NumericSubstitution *>(substitution))
      useExpressionVariables(*numeric->expression().root(), variables);
    else
      variables.use(substitution->text());
  }
  for (const auto &[name, group] : pattern.stringDefs())
    variables.define(name);
  // Visited by position, so that findings keep a stable order.
  std::map<SourceLocation, TextRef> numericNames;
  for (const auto &entry : pattern.numericDefs())
    numericNames.emplace(entry.first.data(), entry.first);
  for (const auto &[at, name] : numericNames)
    variables.define(name);
  for (TextRef name : pattern.backReferences())
    variables.use(name);
}

} // namespace

TextRef definedName(TextRef definition) {
  TextRef name = definition.substr(0, definition.find('='));
  if (consumeFront(name, "#")) {
    size_t comma = name.find(',');
    if (comma != TextRef::npos)
      name.remove_prefix(comma + 1);
  }
  return trim(name, " \t");
}

void checkPatterns(const std::vector<CheckStep> &steps,
                   const std::unordered_map<SourceLocation, PatternSource> &sources,
                   const std::vector<TextRef> &defines, VariableChecks variableChecks,
                   bool enableVarScope, std::vector<Finding> &findings) {
  // Without the variable checks their findings go nowhere.
  std::vector<Finding> dropped;
  VariableTracker variables(defines, variableChecks == VariableChecks::On ? findings : dropped);
  auto visit = [&](const CheckPattern &pattern) {
    auto source = sources.find(pattern.location);
    if (source != sources.end())
      checkPattern(pattern, source->second, variables, findings);
  };
  for (const CheckStep &step : steps) {
    // The NOT and DAG patterns were written before their positive directive.
    for (const CheckPattern &pattern : step.dagNotPatterns)
      visit(pattern);
    visit(step.pattern);
    // Checking forgets local variables after each label's block.
    if (enableVarScope && step.pattern.kind.type == DirectiveType::Label)
      variables.endLocals();
  }
  variables.finish();
}

} // namespace ostrel
