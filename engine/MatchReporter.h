#ifndef OSTREL_ENGINE_MATCHREPORTER_H
#define OSTREL_ENGINE_MATCHREPORTER_H

/// Turns the result of every search into what the user sees: located
/// messages through the sink (errors always, matches with -v, the rest with
/// -vv) and, when a record list is given, MatchDiag records for the input
/// dump. Tells the checker whether an error was reported.
/// Tested by MatchReporter_test.cpp.

#include "engine/CheckOptions.h"
#include "engine/CheckPattern.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "engine/SearchResult.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <vector>

namespace ostrel {

/// One search to report on.
struct SearchReport {
  const CheckPattern &pattern;
  /// False for NOT patterns.
  bool expected = true;
  /// Names the directive in messages.
  TextRef prefix;
  /// Where messages about the directive point.
  SourceLocation location = nullptr;
  /// The repetition of a COUNT directive.
  int matchedCount = 1;
  /// The stretch of input that was searched.
  TextRef searched;
};

/// Reports the searches of one checking run; the options decide what is
/// wanted, `diagList` (optional) receives the records.
class MatchReporter {
public:
  MatchReporter(SourceRegistry &registry, DiagnosticSink &sink, const CheckOptions &options,
                std::vector<MatchDiag> *diagList)
      : registry(registry), sink(sink), options(options), diagList(diagList) {}

  /// Reports `result`, the result of `search`. Returns an
  /// AlreadyReportedError when an error was reported, success otherwise.
  ErrorValue reportOutcome(const SearchReport &search, SearchResult result);
  /// The half of reportOutcome for a result that was found.
  ErrorValue reportFound(const SearchReport &search, SearchResult result);
  /// The half of reportOutcome for a result that was not found.
  ErrorValue reportNotFound(const SearchReport &search, SearchResult result);

  /// One "with "NAME" equal to "VALUE"" note per substitution that can be
  /// computed, at the start of `range`: recorded with `outcome` into `list`
  /// when given, printed otherwise.
  void reportSubstitutions(const CheckPattern &pattern, TextRef range, MatchOutcome outcome,
                           std::vector<MatchDiag> *list);
  /// One "captured var "NAME"" note per variable the pattern defines, in
  /// input order: recorded with `outcome` into `list` when given, printed
  /// otherwise.
  void reportCaptures(const CheckPattern &pattern, MatchOutcome outcome,
                      std::vector<MatchDiag> *list);

private:
  SourceRegistry &registry;
  DiagnosticSink &sink;
  const CheckOptions &options;
  std::vector<MatchDiag> *diagList;
};

} // namespace ostrel

#endif
