#ifndef OSTREL_LINT_FINDINGWRITER_H
#define OSTREL_LINT_FINDINGWRITER_H

/// Writes findings in one of the formats of ostrel-lint: located diagnostics
/// with the quoted line for people, JSON objects, a SARIF 2.1.0 log for
/// code-scanning services, or workflow commands for GitHub Actions.

#include "lint/LintCheck.h"
#include "support/diag/SeverityLabel.h"
#include "support/fs/TextRef.h"

#include <memory>
#include <optional>
#include <string>

namespace ostrel {

class OutputStream;

enum class FindingFormat { Text, Json, Sarif, Github };

/// The format named `name` (text, json, sarif, github), if any.
std::optional<FindingFormat> findingFormatNamed(TextRef name);

/// A place in a file as people count it: the 1-based line, and 1-based
/// columns that count characters (a UTF-8 sequence is one), the end column
/// being the one just after the last character.
struct FilePlace {
  unsigned line = 0;
  unsigned column = 0;
  unsigned endColumn = 0;
};

/// The place of [start, end) in `text`, which holds both; an end before the
/// start or past the line of the start stands for one character, or the
/// line's end.
FilePlace filePlace(TextRef text, const char *start, const char *end);

/// The line of `text` holding `location` as it is quoted under a finding:
/// control characters shown as \xHH, a line longer than a few hundred bytes
/// cut to a stretch around [start, end) with "..." for what is left out,
/// followed by a line with "^" under `location` and "~" under the rest of
/// [start, end), both counted by character, with tabs widened to stops of 8.
std::string quotedLine(TextRef text, const char *location, const char *start, const char *end);

class FindingWriter {
public:
  /// Text goes to `errors` and every other format to `output`.
  FindingWriter(FindingFormat format, OutputStream &output, OutputStream &errors);
  ~FindingWriter();

  /// Writes `finding` of the file `fileName`, whose contents `text` holds
  /// the finding's places.
  void write(TextRef fileName, TextRef text, const Finding &finding, DiagSeverity severity);
  /// Ends the output (the SARIF log is written as a whole here).
  void finish();

private:
  struct Sarif;
  FindingFormat format;
  OutputStream &output;
  OutputStream &errors;
  std::unique_ptr<Sarif> sarif;
};

} // namespace ostrel

#endif
