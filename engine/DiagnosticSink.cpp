#include "engine/DiagnosticSink.h"

#include "support/diag/DiagnosticError.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

DiagnosticSink::~DiagnosticSink() = default;

void DiagnosticSink::report(const SourceRegistry &registry, SourceLocation location,
                            DiagSeverity severity, TextRef message, DiagnosticKind kind,
                            SourceRange range) {
  diagnostic(registry.makeDiagnostic(location, severity, message, range), kind);
}

void DiagnosticSink::reportErrors(ErrorValue error, DiagnosticKind otherKind) {
  forEachPayload(error, [&](const ErrorPayload &payload) {
    DiagnosticKind kind = otherKind;
    if (payload.isA<DiagnosticError>()) {
      const auto &located = static_cast<const DiagnosticError &>(payload);
      kind = located.kind();
      diagnostic(located.diagnostic(), kind);
    } else {
      text(payload.message(), kind);
    }
    text("\n", kind);
  });
  dropError(std::move(error));
}

void StreamDiagnosticSink::diagnostic(const SourceDiagnostic &diag, DiagnosticKind) {
  SourceRegistry::printDiagnostic(out, diag, /*showColours=*/true);
}

void StreamDiagnosticSink::text(TextRef text, DiagnosticKind) { out << text; }

void DiagnosticRecorder::replay(DiagnosticSink &sink) const {
  for (const Entry &entry : entries) {
    if (const auto *diag = std::get_if<SourceDiagnostic>(&entry.report))
      sink.diagnostic(*diag, entry.kind);
    else
      sink.text(std::get<std::string>(entry.report), entry.kind);
  }
}

std::string DiagnosticRecorder::printed() const {
  std::string result;
  StringOutputStream out(result);
  StreamDiagnosticSink sink(out);
  replay(sink);
  out.flush();
  return result;
}

} // namespace ostrel
