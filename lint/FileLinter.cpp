#include "lint/FileLinter.h"

#include "engine/CheckRun.h"
#include "engine/DefinitionShape.h"
#include "engine/DiagnosticSink.h"
#include "engine/DirectiveScanner.h"
#include "lint/NearDirectives.h"
#include "lint/PatternChecks.h"
#include "lint/RunLineOptions.h"
#include "lint/Suppressions.h"
#include "lint/WrittenPlaces.h"
#include "support/fs/FileBuffer.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <tuple>

namespace ostrel {

namespace {

constexpr TextRef runPrefix = "RUN";
constexpr TextRef defaultCheckPrefix = "CHECK";
/// A file that makes the reader reject this many directives is not read
/// further: every one costs a reading of the whole file.
constexpr size_t mostRejectedDirectives = 200;

CheckOptions readerOptions(const CheckOptions &given) {
  CheckOptions options = given;
  // Prefixes that a file leaves unused are found here, each placed where it
  // was given.
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

bool isCheckDirective(const FoundDirective &directive) {
  return directive.kind.type != DirectiveType::Comment;
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

/// The variable name that starts at `location`.
TextRef variableNameAt(SourceLocation location) {
  const char *end = location;
  while (*end == '$' || *end == '_' || std::isalnum(static_cast<unsigned char>(*end)))
    ++end;
  return TextRef(location, static_cast<size_t>(end - location));
}

/// The prefix of the directive on whose line `location` lies.
TextRef prefixAt(const std::vector<FoundDirective> &directives, SourceLocation location) {
  TextRef prefix = defaultCheckPrefix;
  for (const FoundDirective &directive : directives)
    if (directive.directive.data() <= location)
      prefix = directive.prefix;
  return prefix;
}

/// `location` moved from `copy` to the same offset in `text` when it lies
/// in `copy`; as it is otherwise.
SourceLocation movedInto(SourceLocation location, TextRef copy, TextRef text) {
  if (location >= copy.data() && location <= copy.data() + copy.size())
    return text.data() + (location - copy.data());
  return location;
}

/// Turns what the reader reported into findings: its own errors, and the
/// one error that has a finding of its own, a numeric variable used in the
/// directive that defines it. The errors about misspelled directives and bad
/// counts are left out: checkDirectiveWords reported those already. Reports
/// without a place are put at `fallback`; those in `copy`, a copy of the
/// text of `directives`, are moved into that text.
void readerFindings(const DiagnosticRecorder &reports,
                    const std::vector<FoundDirective> &directives, SourceLocation fallback,
                    TextRef copy, TextRef text, std::vector<Finding> &findings) {
  std::set<SourceLocation> covered;
  for (const FoundDirective &directive : directives) {
    DirectiveType type = directive.kind.type;
    if (type == DirectiveType::Misspelled || type == DirectiveType::BadCount) {
      covered.insert(directive.directive.data());
      covered.insert(directive.directive.data() + directive.directive.size());
    }
  }
  for (const DiagnosticRecorder::Entry &entry : reports.reports()) {
    if (const auto *diag = std::get_if<SourceDiagnostic>(&entry.report)) {
      SourceLocation location = movedInto(diag->location, copy, text);
      if (covered.contains(location))
        continue;
      if (entry.kind == DiagnosticKind::SameDirectiveNumericUse) {
        std::string prefix(prefixAt(directives, location));
        findings.push_back(Finding{LintCheck::SameLineNumeric, location, SourceRange(),
                                   "numeric variable '" + std::string(variableNameAt(location)) +
                                       "' is defined and used in one directive, which ostrel "
                                       "rejects; use it in a '" +
                                       prefix + "-SAME:' directive on the next line"});
      } else {
        findings.push_back(
            Finding{LintCheck::CheckFileError, location, SourceRange(), diag->message});
      }
    } else if (std::string message = plainMessage(std::get<std::string>(entry.report));
               !message.empty()) {
      findings.push_back(Finding{LintCheck::CheckFileError, fallback, SourceRange(), message});
    }
  }
}

/// One way ostrel reads the file: a call on a RUN: line, or the prefixes
/// and options given to the linter.
struct ReadingPass {
  /// Views of the settings and of the call's values.
  CheckOptions options;
  bool allowUnusedPrefixes = false;
  /// The RUN: lines of the call, in the prepared text; none for the linter's
  /// own settings.
  std::vector<TextRef> lines;
  /// Where findings without a place of their own go.
  SourceLocation place = nullptr;

  /// The prefixes the pass reads: the given ones, or the default.
  std::vector<TextRef> checkPrefixes() const {
    if (options.checkPrefixes.empty())
      return {defaultCheckPrefix};
    return options.checkPrefixes;
  }

  /// What makes two passes read the file alike.
  auto key() const {
    std::vector<TextRef> prefixes = checkPrefixes();
    std::sort(prefixes.begin(), prefixes.end());
    std::vector<TextRef> defines = options.defines;
    std::sort(defines.begin(), defines.end());
    return std::make_tuple(prefixes, defines, options.enableVarScope, options.matchFullLines,
                           allowUnusedPrefixes);
  }
};

/// Where `prefix` is written on `lines`, as a word of its own; null when it
/// is not.
SourceLocation placeOfPrefix(const std::vector<TextRef> &lines, TextRef prefix) {
  for (TextRef line : lines) {
    for (size_t at = line.find(prefix); at != TextRef::npos; at = line.find(prefix, at + 1)) {
      size_t end = at + prefix.size();
      bool startsWord = at == 0 || !isDirectiveWordChar(line[at - 1]);
      bool endsWord = end == line.size() || !isDirectiveWordChar(line[end]);
      if (startsWord && endsWord)
        return line.data() + at;
    }
  }
  return nullptr;
}

/// The directive that the reader's first located report since `firstReport`
/// points into, if any; the reader read `reading`, the text of `directives`
/// or a copy of it.
const FoundDirective *rejectedDirective(const DiagnosticRecorder &reports, size_t firstReport,
                                        TextRef reading, TextRef text,
                                        const std::vector<FoundDirective> &directives) {
  for (size_t i = firstReport; i < reports.reports().size(); ++i) {
    const auto *diag = std::get_if<SourceDiagnostic>(&reports.reports()[i].report);
    if (!diag || diag->location < reading.data() ||
        diag->location > reading.data() + reading.size())
      continue;
    SourceLocation location = movedInto(diag->location, reading, text);
    auto after = std::upper_bound(directives.begin(), directives.end(), location,
                                  [](SourceLocation at, const FoundDirective &directive) {
                                    return at < directive.directive.data();
                                  });
    if (after == directives.begin())
      return nullptr;
    const FoundDirective &directive = *std::prev(after);
    TextRef pattern = directive.patternText;
    return location <= pattern.data() + pattern.size() ? &directive : nullptr;
  }
  return nullptr;
}

/// Turns `directive` of `text` in `copy`, a writable copy of it, into a
/// plain directive of its prefix that the reader accepts and that checks
/// nothing of interest, or into blanks when it is too short, keeping every
/// other byte in place.
void skipDirective(const FoundDirective &directive, TextRef text, char *copy) {
  const char *start = directive.directive.data();
  const char *end = directive.patternText.data() + directive.patternText.size();
  char *out = copy + (start - text.data());
  size_t length = static_cast<size_t>(end - start);
  std::fill(out, out + length, ' ');
  std::string plain = std::string(directive.prefix) + ":x";
  if (plain.size() <= length)
    plain.copy(out, plain.size());
}

/// Whether `finding` is about a variable that one of `rejected` names, whose
/// definitions and uses went unseen.
bool aboutSkippedVariable(const Finding &finding, const std::vector<TextRef> &rejected) {
  if (finding.check != LintCheck::UnusedVariable &&
      finding.check != LintCheck::UndefinedVariable)
    return false;
  TextRef name(finding.range.start, static_cast<size_t>(finding.range.end - finding.range.start));
  return std::any_of(rejected.begin(), rejected.end(),
                     [&](TextRef directive) { return directive.find(name) != TextRef::npos; });
}

/// Moves every place of `finding` from `from` to the same offset in `to`.
/// A location outside both, or none, becomes `fallback`; a range or a fix
/// outside both is dropped.
void movePlaces(Finding &finding, TextRef from, TextRef to, SourceLocation fallback) {
  auto inside = [](SourceLocation location, TextRef text) {
    return location && location >= text.data() && location <= text.data() + text.size();
  };
  auto move = [&](SourceLocation &location) {
    if (inside(location, from))
      location = to.data() + (location - from.data());
  };
  auto rangeInside = [&](const SourceRange &range) {
    return inside(range.start, to) && inside(range.end, to);
  };
  move(finding.location);
  if (!inside(finding.location, to))
    finding.location = fallback;
  move(finding.range.start);
  move(finding.range.end);
  if (finding.range.isValid() && !rangeInside(finding.range))
    finding.range = SourceRange();
  if (finding.fix) {
    move(finding.fix->range.start);
    move(finding.fix->range.end);
    if (!rangeInside(finding.fix->range))
      finding.fix.reset();
  }
}

/// Reads the prepared `text` as `pass` says, and appends the reader's
/// findings and those of the patterns, placed in `text`. A directive that
/// the reader rejects is reported and skipped, so that the rest of the file
/// is still read. `known`, when given, holds the directives of `text` for the
/// pass's prefixes.
void lintPass(const ReadingPass &pass, TextRef text, TextRef name,
              const std::vector<FoundDirective> *known, std::vector<Finding> &findings) {
  DiagnosticRecorder reports;
  auto run = std::make_unique<CheckRun>(pass.options, reports);
  // Completes the prefixes with their defaults.
  const CompiledRegex &matcher = run->prefixMatcher();
  std::vector<FoundDirective> scanned;
  if (!known)
    scanned = findDirectives(text, matcher, run->options());
  const std::vector<FoundDirective> &directives = known ? *known : scanned;
  std::vector<Finding> found;

  std::set<TextRef> used;
  for (const FoundDirective &directive : directives)
    if (isCheckDirective(directive))
      used.insert(directive.prefix);
  // With no prefix used at all the reader itself reports the file.
  if (!pass.allowUnusedPrefixes && !used.empty()) {
    for (TextRef prefix : run->options().checkPrefixes) {
      if (used.contains(prefix))
        continue;
      SourceLocation place = placeOfPrefix(pass.lines, prefix);
      found.push_back(Finding{LintCheck::CheckFileError, place ? place : pass.place,
                              place ? SourceRange::of(TextRef(place, prefix.size()))
                                    : SourceRange(),
                              "no check strings found with prefix '" + std::string(prefix) +
                                  ":'"});
    }
  }

  // After the first rejected directive the reader reads a copy in which the
  // rejected directives are skipped.
  std::string copy;
  TextRef reading = text;
  std::vector<TextRef> rejected;
  bool readThrough = true;
  while (true) {
    size_t firstReport = reports.reports().size();
    ErrorValue error = run->readCheckText(reading, name);
    if (!error)
      break;
    dropError(std::move(error));
    const FoundDirective *culprit =
        rejected.size() < mostRejectedDirectives
            ? rejectedDirective(reports, firstReport, reading, text, directives)
            : nullptr;
    TextRef culpritText;
    if (culprit)
      culpritText = TextRef(culprit->directive.data(),
                            static_cast<size_t>(culprit->patternText.data() +
                                                culprit->patternText.size() -
                                                culprit->directive.data()));
    if (!culprit || std::find(rejected.begin(), rejected.end(), culpritText) != rejected.end()) {
      readThrough = false;
      break;
    }
    rejected.push_back(culpritText);
    if (copy.empty()) {
      copy.assign(text.data(), text.size() + 1);
      reading = TextRef(copy.data(), text.size());
    }
    skipDirective(*culprit, text, copy.data());
    run = std::make_unique<CheckRun>(pass.options, reports);
  }
  readerFindings(reports, directives, pass.place, reading, text, found);

  std::unordered_map<SourceLocation, PatternSource> sources;
  for (const FoundDirective &directive : directives)
    sources.emplace(movedInto(directive.patternText.data(), text, reading),
                    PatternSource{directive.prefix, directive.patternText});
  // A reading that stopped short leaves later uses unseen.
  checkPatterns(run->engine().steps(), sources, run->options().defines,
                readThrough ? VariableChecks::On : VariableChecks::Off,
                run->options().enableVarScope, found);
  for (Finding &finding : found) {
    if (aboutSkippedVariable(finding, rejected))
      continue;
    movePlaces(finding, reading, text, pass.place);
    findings.push_back(std::move(finding));
  }
}

/// The passes for `calls`, each distinct way of reading once; empty when
/// there is no call. A call whose prefixes ostrel would reject is reported.
std::vector<ReadingPass> passesOfCalls(const std::vector<CheckerCall> &calls,
                                       const CheckOptions &settings,
                                       std::vector<Finding> &findings) {
  std::vector<ReadingPass> passes;
  for (const CheckerCall &call : calls) {
    ReadingPass pass;
    pass.options = readerOptions(settings);
    pass.options.checkPrefixes = viewsOf(call.checkPrefixes);
    for (const std::string &definition : call.defines)
      if (!definitionShapeProblem(definition))
        pass.options.defines.push_back(definition);
    pass.options.enableVarScope |= call.enableVarScope;
    pass.options.matchFullLines |= call.matchFullLines;
    pass.allowUnusedPrefixes = settings.allowUnusedPrefixes || call.allowUnusedPrefixes;
    pass.lines = call.lines;
    pass.place = call.lines.front().data();
    DiagnosticRecorder reports;
    if (ErrorValue rejected = CheckRun(pass.options, reports).checkPrefixes()) {
      dropError(std::move(rejected));
      std::vector<Finding> reported;
      readerFindings(reports, {}, pass.place, {}, {}, reported);
      findings.insert(findings.end(), reported.begin(), reported.end());
      continue;
    }
    bool seen = std::any_of(passes.begin(), passes.end(), [&](const ReadingPass &other) {
      return other.key() == pass.key();
    });
    if (!seen)
      passes.push_back(std::move(pass));
  }
  return passes;
}

/// Reports each check directive whose prefix no pass reads.
void findDeadDirectives(const std::vector<FoundDirective> &directives,
                        const std::vector<ReadingPass> &passes, std::vector<Finding> &findings) {
  std::set<TextRef> read;
  for (const ReadingPass &pass : passes)
    for (TextRef prefix : pass.checkPrefixes())
      read.insert(prefix);
  for (const FoundDirective &directive : directives) {
    DirectiveType type = directive.kind.type;
    if (type == DirectiveType::Comment || type == DirectiveType::Misspelled ||
        type == DirectiveType::BadCount || read.contains(directive.prefix))
      continue;
    TextRef shown = directive.directive;
    findings.push_back(Finding{LintCheck::DeadDirective, shown.data(), SourceRange::of(shown),
                               "'" + std::string(shown) + "' is never checked: no RUN: line " +
                                   "gives the prefix '" + std::string(directive.prefix) +
                                   "' to ostrel"});
  }
}

/// Places every finding in `written`, the file before `prepared` was made
/// from it.
void placeAsWritten(std::vector<Finding> &findings, TextRef prepared, TextRef written,
                    const WrittenPlaces &places) {
  auto place = [&](SourceLocation &location) {
    if (location)
      location = written.data() + places.writtenOffset(static_cast<size_t>(location -
                                                                           prepared.data()));
  };
  for (Finding &finding : findings) {
    place(finding.location);
    place(finding.range.start);
    place(finding.range.end);
    if (finding.fix) {
      place(finding.fix->range.start);
      place(finding.fix->range.end);
    }
  }
}

} // namespace

FileFindings lintCheckFile(const CheckOptions &settings, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store) {
  FileFindings result;
  registry.addBuffer(viewText(source, name));
  DiagnosticRecorder reports;
  CheckOptions options = readerOptions(settings);
  auto run = std::make_unique<CheckRun>(options, reports);
  TextRef text = run->prepare(source, store);
  std::vector<FoundDirective> directives =
      findDirectives(text, run->prefixMatcher(), run->options());

  // The passes' options keep views of the calls' values.
  std::vector<CheckerCall> calls;
  std::vector<ReadingPass> passes;
  if (settings.checkPrefixes.empty()) {
    std::vector<TextRef> runLines;
    for (const FoundDirective &directive : directives)
      if (directive.kind.type == DirectiveType::Comment && directive.prefix == runPrefix)
        runLines.push_back(directive.patternText);
    calls = checkerCalls(runLines);
    passes = passesOfCalls(calls, settings, result.findings);
  }
  if (passes.empty()) {
    ReadingPass pass;
    pass.options = options;
    pass.allowUnusedPrefixes = settings.allowUnusedPrefixes;
    pass.place = calls.empty() ? text.data() : calls.front().lines.front().data();
    passes.push_back(std::move(pass));
  }

  // Every prefix of a pass, and the default one, makes directives; those of
  // a prefix that no pass reads are dead.
  if (settings.checkPrefixes.empty() && !calls.empty()) {
    options.checkPrefixes = {defaultCheckPrefix};
    for (const ReadingPass &pass : passes)
      for (TextRef prefix : pass.options.checkPrefixes)
        if (std::find(options.checkPrefixes.begin(), options.checkPrefixes.end(), prefix) ==
            options.checkPrefixes.end())
          options.checkPrefixes.push_back(prefix);
    if (options.checkPrefixes.size() > 1) {
      run = std::make_unique<CheckRun>(options, reports);
      directives = findDirectives(text, run->prefixMatcher(), run->options());
    }
  }

  NearDirectiveFinder finder(run->options().checkPrefixes);
  checkDirectiveWords(text, directives, finder, result.findings);
  bool hasCheckDirective = std::any_of(directives.begin(), directives.end(), isCheckDirective);
  result.isCheckFile = hasCheckDirective || !result.findings.empty();
  if (!result.isCheckFile)
    return result;

  if (hasCheckDirective) {
    if (!calls.empty())
      findDeadDirectives(directives, passes, result.findings);
    // The directives found already serve a single pass that reads the same
    // prefixes.
    bool sameScan = passes.size() == 1 &&
                    passes.front().checkPrefixes() == run->options().checkPrefixes;
    for (const ReadingPass &pass : passes)
      lintPass(pass, text, name, sameScan ? &directives : nullptr, result.findings);
  }
  applySuppressions(text, directives, result.findings);

  // Passes that read a line alike find the same things on it.
  auto order = [](const Finding &a, const Finding &b) {
    return std::tie(a.location, a.check, a.message) < std::tie(b.location, b.check, b.message);
  };
  std::stable_sort(result.findings.begin(), result.findings.end(), order);
  auto same = [&](const Finding &a, const Finding &b) { return !order(a, b) && !order(b, a); };
  result.findings.erase(std::unique(result.findings.begin(), result.findings.end(), same),
                        result.findings.end());
  placeAsWritten(result.findings, text, source, WrittenPlaces(source, text,
                                                              settings.strictWhitespace));
  return result;
}

} // namespace ostrel
