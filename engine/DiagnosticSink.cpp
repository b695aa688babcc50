#include "engine/DiagnosticSink.h"

#include "support/diag/DiagnosticError.h"
#include "support/diag/OutputStream.h"

DiagnosticSink::~DiagnosticSink() = default;

void DiagnosticSink::report(const SourceRegistry &registry, SourceLocation location,
                            DiagSeverity severity, TextRef message, SourceRange range) {
  diagnostic(registry.makeDiagnostic(location, severity, message, range));
}

void DiagnosticSink::reportErrors(ErrorValue error) {
  forEachPayload(error, [&](const ErrorPayload &payload) {
    if (payload.isA<DiagnosticError>())
      diagnostic(static_cast<const DiagnosticError &>(payload).diagnostic());
    else
      text(payload.message());
    text("\n");
  });
  dropError(std::move(error));
}

void StreamDiagnosticSink::diagnostic(const SourceDiagnostic &diag) {
  SourceRegistry::printDiagnostic(out, diag, /*showColours=*/true);
}

void StreamDiagnosticSink::text(TextRef text) { out << text; }

void DiagnosticRecorder::replay(DiagnosticSink &sink) const {
  for (const Entry &entry : entries) {
    if (const auto *diag = std::get_if<SourceDiagnostic>(&entry))
      sink.diagnostic(*diag);
    else
      sink.text(std::get<std::string>(entry));
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
