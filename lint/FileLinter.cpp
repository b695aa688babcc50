#include "lint/FileLinter.h"

#include "engine/CheckEngine.h"
#include "engine/DirectiveScanner.h"
#include "lint/NearDirectives.h"
#include "lint/PatternChecks.h"
#include "lint/RunLineOptions.h"
#include "support/fs/FileBuffer.h"

#include <algorithm>
#include <memory>

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
    size_t lineEnd = text.find_first_of("\n\r", lineStart);
    if (lineEnd == TextRef::npos)
      lineEnd = text.size();
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

} // namespace

FileFindings lintCheckFile(const LintSettings &settings, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store) {
  FileFindings result;
  CheckOptions options = readerOptions(settings);
  auto engine = std::make_unique<CheckEngine>(options);
  CompiledRegex matcher = engine->buildPrefixMatcher();
  TextRef text = engine->prepareText(source, store);
  registry.addBuffer(viewText(text, name));
  std::vector<FoundDirective> directives = findDirectives(text, matcher, engine->options());

  // The engine's options keep views of these values.
  RunLineOptions run;
  if (settings.checkPrefixes.empty()) {
    std::vector<TextRef> runLines;
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
    if (!CheckEngine(options).verifyPrefixes())
      options.checkPrefixes.clear();
  }
  if (!run.checkPrefixes.empty() || !run.defines.empty()) {
    engine = std::make_unique<CheckEngine>(options);
    matcher = engine->buildPrefixMatcher();
    if (!options.checkPrefixes.empty())
      directives = findDirectives(text, matcher, engine->options());
  }

  const CheckOptions &completed = engine->options();
  NearDirectiveFinder finder(completed.checkPrefixes);
  checkDirectiveWords(text, directives, finder, result.findings);

  result.isCheckFile =
      !result.findings.empty() ||
      std::any_of(directives.begin(), directives.end(), [](const FoundDirective &directive) {
        return directive.kind.type != DirectiveType::Comment;
      });
  if (!result.isCheckFile)
    return result;

  bool rejected = std::any_of(directives.begin(), directives.end(), [](const FoundDirective &d) {
    return d.kind.type == DirectiveType::Misspelled || d.kind.type == DirectiveType::BadCount;
  });
  if (!rejected && !engine->parseCheckText(registry, text, matcher)) {
    std::unordered_map<SourceLocation, PatternSource> sources;
    for (const FoundDirective &directive : directives)
      sources.emplace(directive.patternText.data(),
                      PatternSource{directive.prefix, directive.patternText});
    checkPatterns(engine->steps(), sources, completed.defines, completed.enableVarScope,
                  result.findings);
  }

  std::stable_sort(result.findings.begin(), result.findings.end(),
                   [](const Finding &a, const Finding &b) { return a.location < b.location; });
  return result;
}
