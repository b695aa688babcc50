#ifndef OSTREL_ENGINE_MATCHDIAGNOSTICS_H
#define OSTREL_ENGINE_MATCHDIAGNOSTICS_H

/// Turns the result of every search into what the user sees: located
/// messages on standard error (errors always, matches with -v, the rest with
/// -vv) and, when a record list is given, MatchDiag records for the input
/// dump. Tells the checker whether an error was reported.

#include "engine/CheckOptions.h"
#include "engine/CheckPattern.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "engine/SearchResult.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

/// Reports the result of searching `pattern` in `searched`. `expected` is
/// false for NOT patterns; `prefix` and `location` name and place the
/// directive; `matchedCount` is the repetition of a COUNT directive. Returns
/// an AlreadyReportedError when an error was reported, success otherwise.
ErrorValue reportOutcome(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                         TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                         int matchedCount, TextRef searched, SearchResult searchResult,
                         const CheckOptions &options, std::vector<MatchDiag> *diagList);

/// The half of reportOutcome for a result that was found.
ErrorValue reportFound(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                       TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                       int matchedCount, TextRef searched, SearchResult searchResult,
                       const CheckOptions &options, std::vector<MatchDiag> *diagList);

/// The half of reportOutcome for a result that was not found.
ErrorValue reportNotFound(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                          TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                          int matchedCount, TextRef searched, SearchResult searchResult,
                          const CheckOptions &options, std::vector<MatchDiag> *diagList);

/// One "with "NAME" equal to "VALUE"" note per substitution that can be
/// computed, at the start of `range`: printed without a list, recorded with
/// `outcome` when there is one.
void reportSubstitutions(const CheckPattern &pattern, SourceRegistry &registry,
                         DiagnosticSink &sink, TextRef range, MatchOutcome outcome,
                         std::vector<MatchDiag> *diagList);

/// One "captured var "NAME"" note per variable the pattern defines, in input
/// order: printed without a list, recorded with `outcome` when there is one.
void reportCaptures(const CheckPattern &pattern, SourceRegistry &registry, DiagnosticSink &sink,
                    MatchOutcome outcome, std::vector<MatchDiag> *diagList);

/// `text` as shown between double quotes in a note: backslash, tab, line
/// feed and double quote escaped C-style, other unprintable bytes as \ooo.
std::string escapeForDisplay(TextRef text);

#endif
