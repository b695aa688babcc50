#ifndef OSTREL_ENGINE_DIAGNOSTICSINK_H
#define OSTREL_ENGINE_DIAGNOSTICSINK_H

/// Where the engine's reports go: the engine never writes to the process's
/// streams, the program that runs it hands it a sink. A sink receives each
/// located diagnostic whole (so a caller can count, filter or reformat them)
/// and every other text as it would be printed; a plain output stream could
/// only be captured, not taken apart.

#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <variant>
#include <vector>

namespace ostrel {

class OutputStream;

class DiagnosticSink {
public:
  virtual ~DiagnosticSink();

  /// A located message: file, line, column, severity, message, quoted line.
  virtual void diagnostic(const SourceDiagnostic &diag) = 0;
  /// Text without a location, exactly as printed (messages that carry their
  /// own "error: " label, error texts, the line feed that follows an error).
  virtual void text(TextRef text) = 0;

  /// Makes the diagnostic for `location` in `registry` and reports it.
  void report(const SourceRegistry &registry, SourceLocation location, DiagSeverity severity,
              TextRef message, SourceRange range = SourceRange());
  /// Consumes `error` and reports each of its payloads followed by a line
  /// feed: a DiagnosticError as its diagnostic, any other as its message.
  void reportErrors(ErrorValue error);
};

/// Prints every report on a stream, with that stream's colour decision: the
/// checker's own output on standard error.
class StreamDiagnosticSink final : public DiagnosticSink {
public:
  explicit StreamDiagnosticSink(OutputStream &out) : out(out) {}
  void diagnostic(const SourceDiagnostic &diag) override;
  void text(TextRef text) override;

private:
  OutputStream &out;
};

/// Keeps every report in order, to be examined or passed on later.
class DiagnosticRecorder final : public DiagnosticSink {
public:
  /// One report: a located diagnostic or a piece of text.
  using Entry = std::variant<SourceDiagnostic, std::string>;

  void diagnostic(const SourceDiagnostic &diag) override { entries.push_back(diag); }
  void text(TextRef text) override { entries.push_back(std::string(text)); }

  const std::vector<Entry> &reports() const { return entries; }
  /// Hands every report, in order, to `sink`.
  void replay(DiagnosticSink &sink) const;
  /// What a StreamDiagnosticSink on a stream without colours would have
  /// printed.
  std::string printed() const;
  void clear() { entries.clear(); }

private:
  std::vector<Entry> entries;
};

} // namespace ostrel

#endif
