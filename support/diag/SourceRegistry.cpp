#include "support/diag/SourceRegistry.h"

#include "support/diag/ColourScope.h"
#include "support/diag/OutputStream.h"

#include <algorithm>
#include <cassert>

namespace ostrel {

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

namespace {

// Whether any byte of `line` lies outside ASCII: the caret line would not
// line up under such a line, so none is printed.
bool hasHighBytes(TextRef line) {
  return std::any_of(line.begin(), line.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 128; });
}

// The caret line under a quoted line: tildes under the column ranges, the
// caret at the column, no trailing blanks.
std::string caretLine(const SourceDiagnostic &diag) {
  const std::string &line = diag.lineText;
  std::string caret(line.size() + 1, ' ');
  for (const ColumnRange &range : diag.columnRanges) {
    size_t end = std::min<size_t>(range.end, caret.size());
    for (size_t i = range.start; i < end; ++i)
      caret[i] = '~';
  }
  caret[std::min<size_t>(static_cast<size_t>(diag.column), line.size())] = '^';
  caret.erase(caret.find_last_not_of(' ') + 1);
  return caret;
}

// Appends `marks` (the quoted line itself or its caret line) with every
// position where `line` holds a tab widened to the next multiple of 8 output
// columns, so that marks stand under the characters they mark.
void appendExpandingTabs(std::string &text, TextRef marks, TextRef line) {
  size_t outColumn = 0;
  for (size_t i = 0; i < marks.size(); ++i) {
    if (i < line.size() && line[i] == '\t') {
      size_t stop = (outColumn / 8 + 1) * 8;
      text.append(stop - outColumn, marks[i] == '\t' ? ' ' : marks[i]);
      outColumn = stop;
    } else {
      text += marks[i];
      ++outColumn;
    }
  }
  text += '\n';
}

} // namespace

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
  const ColourStyle bold = {.colour = TextColour::KeepColour, .bold = true};
  {
    ColourScope location(os, bold, policy);
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
  writeSeverityLabel(os, diag.severity, policy);
  {
    ColourScope message(os, bold, policy);
    os << diag.message << '\n';
  }

  if (diag.lineNumber != -1 && diag.column != -1) {
    appendExpandingTabs(text, diag.lineText, diag.lineText);
    if (!hasHighBytes(diag.lineText)) {
      ColourScope green(os, {.colour = TextColour::Green, .bold = true}, policy);
      appendExpandingTabs(text, caretLine(diag), diag.lineText);
    }
  }
  target.write(text);
}

void SourceRegistry::report(SourceLocation location, DiagSeverity severity, TextRef message,
                            std::span<const SourceRange> ranges, bool showColours) const {
  printDiagnostic(standardError(), makeDiagnostic(location, severity, message, ranges),
                  showColours);
}

} // namespace ostrel
