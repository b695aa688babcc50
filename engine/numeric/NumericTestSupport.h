#ifndef OSTREL_ENGINE_NUMERIC_NUMERICTESTSUPPORT_H
#define OSTREL_ENGINE_NUMERIC_NUMERICTESTSUPPORT_H

/// Helpers shared by the unit tests of this folder: texts registered as
/// buffers, so that diagnostics can point into them, and error inspection.

#include "support/diag/ErrorValue.h"
#include "support/diag/OutputStream.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

#include <string>

namespace ostrel {

/// Registers a copy of `text` as a buffer named `name` and returns a view
/// of the copy.
inline TextRef addText(SourceRegistry &registry, TextRef text, TextRef name = "check") {
  FileBufferPtr buffer = copyText(text, name);
  TextRef view = buffer->text();
  registry.addBuffer(std::move(buffer));
  return view;
}

/// The printed form of `error` (all payloads, each followed by a line feed,
/// as they reach the user), consuming it; empty for success.
inline std::string printedErrors(ErrorValue error) {
  std::string out;
  StringOutputStream stream(out);
  printAllErrors(std::move(error), stream);
  return out;
}

} // namespace ostrel

#endif
