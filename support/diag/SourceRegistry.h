#ifndef OSTREL_SUPPORT_DIAG_SOURCEREGISTRY_H
#define OSTREL_SUPPORT_DIAG_SOURCEREGISTRY_H

/// Owns every text that diagnostics point into (check file, input, small
/// synthetic buffers) and turns a character address inside them back into
/// buffer, line and column. Builds and prints located diagnostics: file and
/// position, severity label, message, the quoted line and a caret line with
/// tildes under the related ranges.

#include "support/diag/NewlineIndex.h"
#include "support/diag/SeverityLabel.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/TextRef.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

class OutputStream;
class SourceRegistry;

/// The address of one character inside a registered buffer, or null (none).
/// A buffer's end position (its terminating NUL) belongs to it.
using SourceLocation = const char *;

/// [start, end]; a range whose start is null is ignored.
struct SourceRange {
  SourceLocation start = nullptr;
  SourceLocation end = nullptr;

  SourceRange() = default;
  SourceRange(SourceLocation s, SourceLocation e) : start(s), end(e) {}
  /// The range covering `text` (which must lie in a registered buffer).
  static SourceRange of(TextRef text) {
    return SourceRange(text.data(), text.data() + text.size());
  }
  bool isValid() const { return start != nullptr; }
};

/// Byte offsets into a diagnostic's line text, end exclusive.
struct ColumnRange {
  uint32_t start = 0;
  uint32_t end = 0;
  bool operator==(const ColumnRange &) const = default;
};

/// A self-contained diagnostic: owns its texts, so it can be kept after the
/// registry's buffers change.
struct SourceDiagnostic {
  const SourceRegistry *registry = nullptr;
  SourceLocation location = nullptr;
  std::string fileName;
  int32_t lineNumber = -1; // 1-based; -1: none
  int32_t column = -1;     // 0-based; -1: none
  DiagSeverity severity = DiagSeverity::Error;
  std::string message;
  std::string lineText; // without its line terminator
  std::vector<ColumnRange> columnRanges;

  /// Same as SourceRegistry::printDiagnostic.
  void print(OutputStream &os, bool showColours = true) const;
};

class SourceRegistry {
public:
  SourceRegistry();
  ~SourceRegistry();
  SourceRegistry(const SourceRegistry &) = delete;
  SourceRegistry &operator=(const SourceRegistry &) = delete;

  /// Takes ownership; returns the 1-based id (the new buffer count).
  unsigned addBuffer(FileBufferPtr buffer);
  /// The first buffer containing `location`, or 0.
  unsigned findBuffer(SourceLocation location) const;
  /// The buffer with 1-based `id`.
  const FileBuffer &buffer(unsigned id) const;
  unsigned bufferCount() const { return static_cast<unsigned>(entries_.size()); }

  /// 1-based line of `location` in buffer `id` (0: found by findBuffer).
  unsigned lineNumber(SourceLocation location, unsigned id = 0) const;
  /// (line, column), both 1-based; columns restart after a line feed or a
  /// carriage return.
  std::pair<unsigned, unsigned> lineColumnOf(SourceLocation location, unsigned id = 0) const;

  SourceDiagnostic makeDiagnostic(SourceLocation location, DiagSeverity severity,
                                  TextRef message,
                                  std::span<const SourceRange> ranges = {}) const;
  SourceDiagnostic makeDiagnostic(SourceLocation location, DiagSeverity severity,
                                  TextRef message, SourceRange range) const {
    return makeDiagnostic(location, severity, message, std::span<const SourceRange>(&range, 1));
  }

  /// Prints `diag`; escapes appear only when showColours is set and the colour
  /// decision for `os` says yes.
  static void printDiagnostic(OutputStream &os, const SourceDiagnostic &diag,
                              bool showColours = true);

  /// makeDiagnostic then printDiagnostic onto standard error.
  void report(SourceLocation location, DiagSeverity severity, TextRef message,
              std::span<const SourceRange> ranges = {}, bool showColours = true) const;
  void report(SourceLocation location, DiagSeverity severity, TextRef message,
              SourceRange range, bool showColours = true) const {
    report(location, severity, message, std::span<const SourceRange>(&range, 1), showColours);
  }

private:
  struct Entry {
    FileBufferPtr buffer;
    mutable std::unique_ptr<NewlineIndex> newlines;
    /// Carriage returns, built on the first column query.
    mutable std::unique_ptr<NewlineIndex> returns;
  };
  const Entry &entryWithNewlines(SourceLocation location, unsigned &id) const;
  /// The first character of the line holding `location` for quoting and
  /// columns: just after the last line feed or carriage return before it.
  const char *lineStartOf(SourceLocation location, unsigned id) const;
  std::vector<Entry> entries_;
};

} // namespace ostrel

#endif
