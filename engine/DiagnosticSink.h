#ifndef OSTREL_ENGINE_DIAGNOSTICSINK_H
#define OSTREL_ENGINE_DIAGNOSTICSINK_H

/// Where the engine's reports go: the engine never writes to the process's
/// streams, the program that runs it hands it a sink. A sink receives each
/// located diagnostic whole (so a caller can count, filter or reformat them)
/// and every other text as it would be printed; a plain output stream could
/// only be captured, not taken apart. Each report comes with its kind.
/// Tested by DiagnosticSink_test.cpp.

#include "support/diag/DiagnosticKind.h"
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
  virtual void diagnostic(const SourceDiagnostic &diag, DiagnosticKind kind) = 0;
  /// Text without a location, exactly as printed (messages that carry their
  /// own "error: " label, error texts, the line feed that follows an error).
  virtual void text(TextRef text, DiagnosticKind kind) = 0;

  /// Makes the diagnostic for `location` in `registry` and reports it.
  void report(const SourceRegistry &registry, SourceLocation location, DiagSeverity severity,
              TextRef message, DiagnosticKind kind, SourceRange range = SourceRange());
  /// Consumes `error` and reports each of its payloads followed by a line
  /// feed: a DiagnosticError as its diagnostic, of its own kind; any other as
  /// its message, of kind `otherKind`.
  void reportErrors(ErrorValue error, DiagnosticKind otherKind);
};

/// Prints every report on a stream, with that stream's colour decision: the
/// checker's own output on standard error.
class StreamDiagnosticSink final : public DiagnosticSink {
public:
  explicit StreamDiagnosticSink(OutputStream &out) : out(out) {}
  void diagnostic(const SourceDiagnostic &diag, DiagnosticKind kind) override;
  void text(TextRef text, DiagnosticKind kind) override;

private:
  OutputStream &out;
};

/// Keeps every report in order, to be examined or passed on later.
class DiagnosticRecorder final : public DiagnosticSink {
public:
  /// One report: a located diagnostic or a piece of text, and its kind.
  struct Entry {
    std::variant<SourceDiagnostic, std::string> report;
    DiagnosticKind kind;
  };

  void diagnostic(const SourceDiagnostic &diag, DiagnosticKind kind) override {
    entries.push_back({diag, kind});
  }
  void text(TextRef text, DiagnosticKind kind) override {
    entries.push_back({std::string(text), kind});
  }

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
