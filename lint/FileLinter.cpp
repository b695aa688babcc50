#include "lint/FileLinter.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "engine/DirectiveScanner.h"
#include "lint/NearDirectives.h"
#include "lint/PatternChecks.h"
#include "lint/RunLineOptions.h"
#include "support/fs/FileBuffer.h"

#include <algorithm>
#include <memory>
#include <set>

namespace {

constexpr TextRef runPrefix = "RUN";
constexpr TextRef defaultCheckPrefix = "CHECK";

CheckOptions readerOptions(const LintSettings &settings) {
  CheckOptions options;
  options.checkPrefixes = settings.checkPrefixes;
  options.commentPrefixes = settings.commentPrefixes;
  options.defines = settings.defines;
  options.strictWhitespace = settings.strictWhitespace;
  options.matchFullLines = settings.matchFullLines;
  options.enableVarScope = settings.enableVarScope;
  // The default prefix stays in the list beside those of the RUN: lines, and
  // a file need not use every one.
  options.allowUnusedPrefixes = true;
  return options;
}

std::vector<FoundDirective> findDirectives(TextRef text, const CompiledRegex &matcher,
                                           const CheckOptions &options) {
  std::vector<FoundDirective> directives;
  DirectiveScanner scanner(text, matcher, options);
  FoundDirective found;
  while (scanner.next(found))
    directives.push_back(found);
  return directives;
}

/// A definition ostrel's driver would accept: an "=" after the first
/// character.
bool wellFormedDefinition(TextRef definition) {
  size_t equals = definition.find('=');
  return equals != TextRef::npos && equals > 0;
}

/// Checks the lines on which no directive starts for near-directives, and the
/// rejected directives that these checks cover.
void checkDirectiveWords(TextRef text, const std::vector<FoundDirective> &directives,
                         const NearDirectiveFinder &finder, std::vector<Finding> &findings) {
  auto next = directives.begin();
  size_t lineStart = 0;
  while (lineStart <= text.size()) {
    size_t lineEnd = findLineEnd(text, lineStart);
    const char *end = text.data() + lineEnd;
    bool directiveLine = false;
    while (next != directives.end() && next->directive.data() <= end) {
      directiveLine = true;
      finder.rejectedDirective(*next, findings);
      ++next;
    }
    if (!directiveLine)
      finder.scanLine(text.substr(lineStart, lineEnd - lineStart), findings);
    lineStart = lineEnd + 1;
  }
}

/// The message of a report without its "error: " label and line feed.
std::string plainMessage(TextRef text) {
  text = trim(text);
  consumeFront(text, "error: ");
  return std::string(text);
}

/// The prefix of the directive on whose line `location` lies.
TextRef prefixAt(const std::vector<FoundDirective> &directives, SourceLocation location) {
  TextRef prefix = defaultCheckPrefix;
  for (const FoundDirective &directive : directives)
    if (directive.directive.data() <= location)
      prefix = directive.prefix;
  return prefix;
}

/// Turns what the reader reported into findings: its own errors, and the
/// one error that has a finding of its own, a numeric variable used in the
/// directive that defines it. The errors about misspelled directives and bad
/// counts are left out: checkDirectiveWords reported those already. Reports
/// without a place are put at `fallback`.
void readerFindings(const DiagnosticRecorder &reports,
                    const std::vector<FoundDirective> &directives, SourceLocation fallback,
                    std::vector<Finding> &findings) {
  static constexpr TextRef sameLineEnding = " defined earlier in the same CHECK directive";
  std::set<SourceLocation> covered;
  for (const FoundDirective &directive : directives) {
    DirectiveType type = directive.kind.type;
    if (type == DirectiveType::Misspelled || type == DirectiveType::BadCount) {
      covered.insert(directive.directive.data());
      covered.insert(directive.directive.data() + directive.directive.size());
    }
  }
  for (const DiagnosticRecorder::Entry &entry : reports.reports()) {
    if (const auto *diag = std::get_if<SourceDiagnostic>(&entry)) {
      TextRef message = diag->message;
      if (covered.contains(diag->location))
        continue;
      if (message.ends_with(sameLineEnding)) {
        message.remove_suffix(sameLineEnding.size());
        std::string prefix(prefixAt(directives, diag->location));
        findings.push_back(Finding{LintCheck::SameLineNumeric, diag->location, SourceRange(),
                                   std::string(message) +
                                       " is defined and used in one directive, which ostrel "
                                       "rejects; use it in a '" +
                                       prefix + "-SAME:' directive on the next line"});
      } else {
        findings.push_back(
            Finding{LintCheck::CheckFileError, diag->location, SourceRange(), diag->message});
      }
    } else if (std::string message = plainMessage(std::get<std::string>(entry));
               !message.empty()) {
      findings.push_back(Finding{LintCheck::CheckFileError, fallback, SourceRange(), message});
    }
  }
}

} // namespace

FileFindings lintCheckFile(const LintSettings &settings, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store) {
  FileFindings result;
  DiagnosticRecorder reports;
  CheckOptions options = readerOptions(settings);
  auto engine = std::make_unique<CheckEngine>(options, reports);
  CompiledRegex matcher = engine->buildPrefixMatcher();
  TextRef text = engine->prepareText(source, store);
  registry.addBuffer(viewText(text, name));
  std::vector<FoundDirective> directives = findDirectives(text, matcher, engine->options());

  // The engine's options keep views of these values.
  RunLineOptions run;
  std::vector<TextRef> runLines;
  if (settings.checkPrefixes.empty()) {
    for (const FoundDirective &directive : directives)
      if (directive.kind.type == DirectiveType::Comment && directive.prefix == runPrefix)
        runLines.push_back(directive.patternText);
    run = optionsFromRunLines(runLines);
    std::erase(run.checkPrefixes, std::string(defaultCheckPrefix));
  }
  for (const std::string &definition : run.defines)
    if (wellFormedDefinition(definition))
      options.defines.push_back(definition);
  if (!run.checkPrefixes.empty()) {
    options.checkPrefixes.push_back(defaultCheckPrefix);
    options.checkPrefixes.insert(options.checkPrefixes.end(), run.checkPrefixes.begin(),
                                 run.checkPrefixes.end());
    if (ErrorValue rejected = CheckEngine(options, reports).verifyPrefixes()) {
      dropError(std::move(rejected));
      options.checkPrefixes.clear();
    }
  }
  if (!run.checkPrefixes.empty() || !run.defines.empty()) {
    engine = std::make_unique<CheckEngine>(options, reports);
    matcher = engine->buildPrefixMatcher();
    if (!options.checkPrefixes.empty())
      directives = findDirectives(text, matcher, engine->options());
  }

  const CheckOptions &completed = engine->options();
  NearDirectiveFinder finder(completed.checkPrefixes);
  checkDirectiveWords(text, directives, finder, result.findings);

  bool hasCheckDirective =
      std::any_of(directives.begin(), directives.end(), [](const FoundDirective &directive) {
        return directive.kind.type != DirectiveType::Comment;
      });
  result.isCheckFile = hasCheckDirective || !result.findings.empty();
  if (!result.isCheckFile)
    return result;

  bool readable = hasCheckDirective;
  if (readable) {
    if (ErrorValue error = engine->parseCheckText(registry, text, matcher)) {
      dropError(std::move(error));
      readable = false;
    }
  }
  SourceLocation fallback = runLines.empty() ? text.data() : runLines.front().data();
  readerFindings(reports, directives, fallback, result.findings);

  std::unordered_map<SourceLocation, PatternSource> sources;
  for (const FoundDirective &directive : directives)
    sources.emplace(directive.patternText.data(),
                    PatternSource{directive.prefix, directive.patternText});
  // After a reader error the steps stop short, so uses further on are unseen.
  checkPatterns(engine->steps(), sources, completed.defines,
                readable ? VariableChecks::On : VariableChecks::Off, completed.enableVarScope,
                result.findings);

  std::stable_sort(result.findings.begin(), result.findings.end(),
                   [](const Finding &a, const Finding &b) { return a.location < b.location; });
  return result;
}
