#include "support/diag/SourceRegistry.h"

#include "support/diag/OutputStream.h"

#include <algorithm>
#include <cassert>

SourceRegistry::SourceRegistry() = default;
SourceRegistry::~SourceRegistry() = default;

unsigned SourceRegistry::addBuffer(FileBufferPtr buffer) {
  entries_.push_back(Entry{std::move(buffer), nullptr, nullptr});
  return static_cast<unsigned>(entries_.size());
}

unsigned SourceRegistry::findBuffer(SourceLocation location) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const FileBuffer &b = *entries_[i].buffer;
    if (location >= b.bufferStart() && location <= b.bufferEnd())
      return static_cast<unsigned>(i + 1);
  }
  return 0;
}

const FileBuffer &SourceRegistry::buffer(unsigned id) const {
  assert(id >= 1 && id <= entries_.size() && "buffer id out of range");
  return *entries_[id - 1].buffer;
}

const SourceRegistry::Entry &SourceRegistry::entryWithNewlines(SourceLocation location,
                                                                unsigned &id) const {
  if (id == 0)
    id = findBuffer(location);
  assert(id != 0 && "location outside every buffer");
  const Entry &entry = entries_[id - 1];
  if (!entry.newlines)
    entry.newlines =
        std::make_unique<NewlineIndex>(entry.buffer->bufferStart(), entry.buffer->bufferEnd());
  return entry;
}

unsigned SourceRegistry::lineNumber(SourceLocation location, unsigned id) const {
  const Entry &entry = entryWithNewlines(location, id);
  return entry.newlines->lineOf(static_cast<size_t>(location - entry.buffer->bufferStart()));
}

const char *SourceRegistry::lineStartOf(SourceLocation location, unsigned id) const {
  // Both searches are bisections, so a long line costs no more than a short
  // one however many positions on it are asked about.
  const Entry &entry = entryWithNewlines(location, id);
  const char *start = entry.buffer->bufferStart();
  if (!entry.returns)
    entry.returns = std::make_unique<NewlineIndex>(start, entry.buffer->bufferEnd(), '\r');
  size_t offset = static_cast<size_t>(location - start);
  size_t from = 0;
  if (std::optional<size_t> lineFeed = entry.newlines->lastBefore(offset))
    from = *lineFeed + 1;
  if (std::optional<size_t> carriageReturn = entry.returns->lastBefore(offset))
    from = std::max(from, *carriageReturn + 1);
  return start + from;
}

std::pair<unsigned, unsigned> SourceRegistry::lineColumnOf(SourceLocation location,
                                                           unsigned id) const {
  if (id == 0)
    id = findBuffer(location);
  unsigned line = lineNumber(location, id);
  unsigned column = static_cast<unsigned>(location - lineStartOf(location, id)) + 1;
  return {line, column};
}

SourceDiagnostic SourceRegistry::makeDiagnostic(SourceLocation location, DiagSeverity severity,
                                                TextRef message,
                                                std::span<const SourceRange> ranges) const {
  SourceDiagnostic diag;
  diag.registry = this;
  diag.location = location;
  diag.severity = severity;
  diag.message = std::string(message);
  if (!location) {
    diag.fileName = "<unknown>";
    diag.lineNumber = 0;
    diag.column = -1;
    return diag;
  }
  unsigned id = findBuffer(location);
  assert(id != 0 && "location outside every buffer");
  const FileBuffer &b = buffer(id);
  diag.fileName = std::string(b.bufferName());

  const char *bufEnd = b.bufferEnd();
  const char *lineStart = lineStartOf(location, id);
  const char *lineEnd = location;
  while (lineEnd < bufEnd && *lineEnd != '\n' && *lineEnd != '\r')
    ++lineEnd;
  diag.lineText.assign(lineStart, lineEnd);

  for (const SourceRange &range : ranges) {
    if (!range.start || range.start > lineEnd || range.end < lineStart)
      continue;
    const char *from = std::max(range.start, lineStart);
    const char *to = std::min(range.end, lineEnd);
    diag.columnRanges.push_back(
        ColumnRange{static_cast<uint32_t>(from - lineStart), static_cast<uint32_t>(to - lineStart)});
  }

  diag.lineNumber = static_cast<int32_t>(lineNumber(location, id));
  diag.column = static_cast<int32_t>(location - lineStart);
  return diag;
}

void SourceDiagnostic::print(OutputStream &os, bool showColours) const {
  SourceRegistry::printDiagnostic(os, *this, showColours);
}

void SourceRegistry::printDiagnostic(OutputStream &target, const SourceDiagnostic &diag,
                                     bool showColours) {
  // The diagnostic is assembled in memory and handed over in one write: the
  // standard error stream is unbuffered, and a long quoted line would
  // otherwise cost one system call per byte. The colour decision is the
  // target's, taken once.
  std::string text;
  StringOutputStream os(text);
  os.allowColours(target.coloursAllowed());
  ColourPolicy policy =
      showColours && coloursWanted(target, ColourPolicy::Auto) ? ColourPolicy::Enable
                                                              : ColourPolicy::Disable;
  {
    ColourScope bold(os, TextColour::KeepColour, true, false, policy);
    if (!diag.fileName.empty()) {
      if (diag.fileName == "-")
        os << "<stdin>";
      else
        os << diag.fileName;
      if (diag.lineNumber != -1) {
        os << ':' << diag.lineNumber;
        if (diag.column != -1)
          os << ':' << (diag.column + 1);
      }
      os << ": ";
    }
  }

  // The severity labels' colours; written here rather than through
  // errorLabel() and friends because those would ask the in-memory stream,
  // not the target, whether colours are wanted.
  struct Label {
    TextColour colour;
    const char *text;
  };
  static const Label labels[] = {
      {TextColour::Red, "error: "},
      {TextColour::Magenta, "warning: "},
      {TextColour::Blue, "remark: "},
      {TextColour::Black, "note: "},
  };
  const Label &label = labels[static_cast<unsigned>(diag.severity) & 3];
  {
    ColourScope scope(os, label.colour, true, false, policy);
    os << label.text;
  }
  {
    ColourScope bold(os, TextColour::KeepColour, true, false, policy);
    os << diag.message << '\n';
  }

  if (diag.lineNumber != -1 && diag.column != -1) {
    const std::string &line = diag.lineText;
    bool highBytes = std::any_of(line.begin(), line.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 128; });

    // The source line, tabs expanded to the next multiple of 8.
    size_t outColumn = 0;
    for (char c : line) {
      if (c == '\t') {
        size_t stop = (outColumn / 8 + 1) * 8;
        text.append(stop - outColumn, ' ');
        outColumn = stop;
      } else {
        text += c;
        ++outColumn;
      }
    }
    text += '\n';

    if (!highBytes) {
      std::string caret(line.size() + 1, ' ');
      for (const ColumnRange &range : diag.columnRanges) {
        size_t end = std::min<size_t>(range.end, caret.size());
        for (size_t i = range.start; i < end; ++i)
          caret[i] = '~';
      }
      caret[std::min<size_t>(static_cast<size_t>(diag.column), line.size())] = '^';
      caret.erase(caret.find_last_not_of(' ') + 1);

      ColourScope green(os, TextColour::Green, true, false, policy);
      outColumn = 0;
      for (size_t i = 0; i < caret.size(); ++i) {
        if (i < line.size() && line[i] == '\t') {
          size_t stop = (outColumn / 8 + 1) * 8;
          text.append(stop - outColumn, caret[i]);
          outColumn = stop;
        } else {
          text += caret[i];
          ++outColumn;
        }
      }
      text += '\n';
    }
  }
  target.write(text);
}

void SourceRegistry::report(SourceLocation location, DiagSeverity severity, TextRef message,
                            std::span<const SourceRange> ranges, bool showColours) const {
  printDiagnostic(standardError(), makeDiagnostic(location, severity, message, ranges),
                  showColours);
}
