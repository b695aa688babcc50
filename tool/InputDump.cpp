#include "tool/InputDump.h"

#include "support/diag/ColourScope.h"
#include "support/fs/LineFeeds.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <queue>
#include <string>
#include <utility>

namespace ostrel {

namespace {

constexpr uint32_t noLine = UINT32_MAX;

/// Number of lines: one per line feed, plus an unterminated last line.
uint32_t countLines(TextRef text) {
  uint64_t lines = countLineFeeds(text.data(), text.data() + text.size());
  if (!text.empty() && text.back() != '\n')
    ++lines;
  return static_cast<uint32_t>(std::min<uint64_t>(lines, UINT32_MAX));
}

/// Digits of the largest line number (the whole part of its log10, plus 1).
/// An empty input still numbers from 1. Counted in integers, so that the
/// program needs nothing from the maths library and links statically.
uint32_t lineNumberWidth(uint32_t lineCount) {
  uint32_t digits = 1;
  for (; lineCount >= 10; lineCount /= 10)
    ++digits;
  return digits;
}

/// Puts the annotations in print order: input line, then record. A search
/// range over a large input gives one annotation per line, each holding two
/// strings; sorting small keys and then moving every annotation once is much
/// cheaper than sorting the annotations themselves.
void sortForPrinting(std::vector<DumpAnnotation> &annotations) {
  struct Key {
    uint64_t lineAndRecord;
    size_t index;
  };
  std::vector<Key> keys;
  keys.reserve(annotations.size());
  for (size_t i = 0; i != annotations.size(); ++i)
    keys.push_back({uint64_t(annotations[i].inputLine) << 32 | annotations[i].diagIndex, i});
  auto before = [](const Key &a, const Key &b) { return a.lineAndRecord < b.lineAndRecord; };
  if (std::is_sorted(keys.begin(), keys.end(), before))
    return;
  std::sort(keys.begin(), keys.end(), before);
  // Position i receives the annotation at keys[i].index; follow each cycle of
  // that permutation with one annotation held aside.
  for (size_t start = 0; start != keys.size(); ++start) {
    if (keys[start].index == start)
      continue;
    DumpAnnotation held = std::move(annotations[start]);
    size_t to = start;
    while (keys[to].index != start) {
      size_t from = keys[to].index;
      annotations[to] = std::move(annotations[from]);
      keys[to].index = to;
      to = from;
    }
    annotations[to] = std::move(held);
    keys[to].index = to;
  }
}

class DumpPrinter {
public:
  DumpPrinter(OutputStream &output, const InputDumpView &view)
      : target(output), verbose(view.verbose), filter(view.filter), context(view.context),
        input(view.input), annotations(view.annotations), stagedStream(staged),
        elidedStream(elided) {
    width = std::max(view.labelWidth, lineNumberWidth(countLines(input))) + 3;
    {
      // The probe's own escapes (bold, then reset) are part of the output.
      ColourScope probe(target, {.colour = TextColour::KeepColour}, ColourPolicy::Auto);
      colours = probe.showsColours();
    }
    // Standard error is unbuffered; the dump is collected in pieces so that
    // a large input does not cost several system calls per line.
    stagedStream.allowColours(target.coloursAllowed());
    mode = colours ? ColourPolicy::Enable : ColourPolicy::Disable;
    elidedStream.allowColours(colours);
  }

  void print() {
    const char *at = input.data();
    const char *end = at + input.size();
    uint32_t previousShown = 0; // last line selected by the filter, 0 = none
    uint32_t nextSelected = 0;  // next line selected by the filter, 0 = not known yet
    for (uint32_t line = 1;; ++line) {
      dropFinishedSpans(line);
      if (at == end && cursor == annotations.size() && spanning.empty())
        break;
      if (nextSelected < line)
        nextSelected = findNextSelected(line);
      if (nextSelected == line)
        previousShown = line;

      // The window sums are taken in 64 bits so that they cannot wrap: a
      // larger context never shows fewer lines.
      uint64_t wide = line;
      bool beforeWindow = nextSelected == noLine || wide + context < nextSelected;
      bool afterWindow = previousShown == 0 || uint64_t(previousShown) + context < wide;
      bool elide = beforeWindow && afterWindow;
      if (elide && elidedRunIsLong) {
        line = skipElidedRun(line, nextSelected, at, end);
      } else {
        if (!elide)
          flushElided();
        OutputStream &out = elide ? elidedStream : stagedStream;
        {
          ColourScope number(out, {.colour = TextColour::Black, .bold = true}, mode);
          out.writeNumberField(static_cast<int64_t>(line), width);
          out << ": ";
        }
        uint32_t lineWidth = printInputLine(out, line, at, end);
        out << '\n';
        if (elide)
          elidedLines += 1;
        printAnnotations(out, line, lineWidth, elide);
        if (elide)
          elidedRunBecameLong();
      }
      if (staged.size() >= stageLimit)
        flushStaged();
      if (line == UINT32_MAX)
        break;
    }
    flushElided();
    stagedStream << ">>>>>>\n";
    flushStaged();
  }

private:
  uint32_t findNextSelected(uint32_t line) const {
    if (filter == DumpFilter::All || (filter == DumpFilter::AnnotationFull && !spanning.empty()))
      return line;
    for (size_t i = cursor; i != annotations.size(); ++i) {
      const DumpAnnotation &a = annotations[i];
      switch (filter) {
        case DumpFilter::AnnotationFull:
        return a.inputLine;
      case DumpFilter::Annotation:
        if (a.isFirstLine)
          return a.inputLine;
        break;
      case DumpFilter::Error:
        if (a.isFirstLine && a.marker.countsAsError)
          return a.inputLine;
        break;
      case DumpFilter::All:
        return line;
      }
    }
    return noLine;
  }

  /// Writes the input characters of one line and answers its width (the
  /// characters consumed, line feed included).
  uint32_t printInputLine(OutputStream &out, uint32_t line, const char *&at, const char *end) {
    const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', end - at));
    const char *next = lineEnd ? lineEnd + 1 : end;
    size_t consumed = static_cast<size_t>(next - at);

    ColourScope text(out, {.colour = TextColour::KeepColour}, mode);
    if (verbose && colours) {
      const ColourStyle unmatched = {.colour = TextColour::Cyan, .bold = true, .background = true};
      out.setColour(unmatched);
      // Good matches stand out from the unmatched input around them. A line
      // may carry thousands of matches, so their column ranges are sorted by
      // start and swept once along the line.
      goodMatches.clear();
      for (size_t i = cursor; i != annotations.size() && annotations[i].inputLine == line; ++i)
        if (annotations[i].isExpectedMatch)
          goodMatches.emplace_back(annotations[i].startColumn, annotations[i].endColumn);
      for (auto [diagIndex, index] : spanning)
        if (annotations[index].isExpectedMatch)
          goodMatches.emplace_back(1, annotations[index].continuation(line).endColumn);
      std::sort(goodMatches.begin(), goodMatches.end());
      size_t started = 0;     // ranges that start at or before the column
      uint32_t coveredTo = 0; // the furthest end among them
      bool inside = false;
      uint32_t column = 1;
      for (const char *c = at; c != next; ++c, ++column) {
        for (; started != goodMatches.size() && goodMatches[started].first <= column; ++started)
          coveredTo = std::max(coveredTo, goodMatches[started].second);
        bool nowInside = column < coveredTo;
        if (nowInside && !inside)
          out.clearColour();
        else if (!nowInside && inside)
          out.setColour(unmatched);
        inside = nowInside;
        out.put(*c == '\n' ? ' ' : *c);
      }
    } else {
      // The line feed is shown as one blank.
      out.write(at, lineEnd ? static_cast<size_t>(lineEnd - at) : consumed);
      if (lineEnd)
        out.put(' ');
    }
    at = next;
    return static_cast<uint32_t>(std::min<size_t>(consumed, UINT32_MAX));
  }

  /// Prints the annotations of `line` in record order: those that start on
  /// it and the continuations of ranges from earlier lines. Into the elided
  /// store they go only until the run is known to become dots.
  void printAnnotations(OutputStream &out, uint32_t line, uint32_t lineWidth, bool elide) {
    auto span = spanning.begin();
    while (true) {
      bool starts = cursor != annotations.size() && annotations[cursor].inputLine <= line;
      if (!starts && span == spanning.end())
        break;
      if (elide && elidedRunBecameLong()) {
        skipAnnotations(line);
        return;
      }
      if (starts && (span == spanning.end() || annotations[cursor].diagIndex < span->first)) {
        printAnnotation(out, annotations[cursor], lineWidth);
        startSpan(line);
      } else {
        printAnnotation(out, annotations[span->second].continuation(line), lineWidth);
        ++span;
      }
      if (elide)
        elidedLines += 1;
      else if (staged.size() >= stageLimit)
        flushStaged();
    }
  }

  void printAnnotation(OutputStream &out, const DumpAnnotation &a, uint32_t lineWidth) {
    ColourScope scope(out, {.colour = a.marker.colour, .bold = true}, mode);
    out.writeJustified(a.label, width, Justification::Left);
    out << "  ";
    uint32_t start = a.startColumn ? a.startColumn : 1;
    out.indent(start - 1);
    out.put(a.marker.lead);
    uint32_t lastColumn = start;
    uint64_t stop = std::min<uint64_t>(uint64_t(a.endColumn) - 1, lineWidth);
    for (uint64_t column = uint64_t(start) + 1; column <= stop; ++column) {
      out.put('~');
      lastColumn = static_cast<uint32_t>(column);
    }
    if (!a.marker.note.empty()) {
      if (lastColumn < lineWidth)
        out.indent(lineWidth - lastColumn);
      out << ' ' << a.marker.note;
    }
    out << '\n';
  }

  /// Four stored lines already mean the run is shown as dots: its text is
  /// not needed, and the rest of the run need not be formatted.
  bool elidedRunBecameLong() {
    if (elidedLines >= 4) {
      elidedRunIsLong = true;
      elided.clear();
    }
    return elidedRunIsLong;
  }

  /// Moves past the annotation at the cursor; a range that goes on joins the
  /// spans drawn on the following lines.
  void startSpan(uint32_t line) {
    const DumpAnnotation &a = annotations[cursor];
    if (a.lastLine > line) {
      spanning.emplace(a.diagIndex, cursor);
      spanEnds.push({a.lastLine, a.diagIndex});
    }
    ++cursor;
  }

  void skipAnnotations(uint32_t line) {
    while (cursor != annotations.size() && annotations[cursor].inputLine <= line)
      startSpan(line);
  }

  /// Forgets the spans that end before `line`.
  void dropFinishedSpans(uint32_t line) {
    while (!spanEnds.empty() && spanEnds.top().first < line) {
      spanning.erase(spanEnds.top().second);
      spanEnds.pop();
    }
  }

  void flushStaged() {
    target.write(staged.data(), staged.size());
    staged.clear();
  }

  /// Moves the collected elided lines to the output, or three dot lines in
  /// their place when that is shorter.
  void flushElided() {
    if (elided.empty() && !elidedRunIsLong)
      return;
    if (!elidedRunIsLong) {
      // Fewer than four lines: printing them is no longer than the dots.
      stagedStream.write(elided.data(), elided.size());
    } else {
      for (int i = 0; i < 3; ++i) {
        {
          ColourScope dots(stagedStream, {.colour = TextColour::Black, .bold = true}, mode);
          stagedStream.writeJustified(".", width, Justification::Right);
        }
        stagedStream << '\n';
      }
    }
    elided.clear();
    elidedLines = 0;
    elidedRunIsLong = false;
  }

  /// Passes over the elided lines from `line` on, up to the window of
  /// `nextSelected` and the next line with annotations of its own, and
  /// answers the last line passed. A long input is mostly such a run: it is
  /// passed over many line feeds at a time.
  uint32_t skipElidedRun(uint32_t line, uint32_t nextSelected, const char *&at, const char *end) {
    // Elided means line + context < nextSelected, so `last` is at least `line`.
    uint64_t last = nextSelected == noLine ? uint64_t(UINT32_MAX)
                                           : uint64_t(nextSelected) - context - 1;
    if (cursor != annotations.size())
      last = std::min<uint64_t>(last, uint64_t(annotations[cursor].inputLine) - 1);
    uint64_t wanted = last >= line ? last - line + 1 : 0;
    uint64_t left = wanted;
    const char *after = passLineFeeds(at, end, left);
    if (wanted == left) {
      // An annotated line, or the last one without a line feed.
      skipLine(line, at, end);
      return line;
    }
    at = after;
    return static_cast<uint32_t>(line + (wanted - left) - 1);
  }

  /// Passes over an elided line and its annotations without printing them.
  void skipLine(uint32_t line, const char *&at, const char *end) {
    const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', end - at));
    at = lineEnd ? lineEnd + 1 : end;
    skipAnnotations(line);
  }

  static constexpr size_t stageLimit = 64 * 1024;

  /// Where the dump goes.
  OutputStream &target;
  bool verbose;
  DumpFilter filter;
  uint32_t context;
  TextRef input;
  const std::vector<DumpAnnotation> &annotations;
  size_t cursor = 0;
  uint32_t width = 0;
  bool colours = false;
  ColourPolicy mode = ColourPolicy::Disable;
  /// Collects the dump in pieces before they go to `target`.
  std::string staged;
  StringOutputStream stagedStream;
  std::string elided;
  StringOutputStream elidedStream;
  /// Output lines in the elided store.
  size_t elidedLines = 0;
  /// The current elided run has reached four output lines.
  bool elidedRunIsLong = false;
  /// The ranges from earlier lines that go on at the current line, by record
  /// (diagIndex to the annotation's index), and when each of them ends.
  std::map<uint32_t, size_t> spanning;
  std::priority_queue<std::pair<uint32_t, uint32_t>, std::vector<std::pair<uint32_t, uint32_t>>,
                      std::greater<>>
      spanEnds;
  /// Column ranges [start, end) of the good matches on the current line.
  std::vector<std::pair<uint32_t, uint32_t>> goodMatches;
};

} // namespace

void emitInputDump(OutputStream &os, const InputDumpView &view) {
  os << "Input was:\n<<<<<<\n";
  sortForPrinting(view.annotations);
  DumpPrinter(os, view).print();
}

void printDumpHelp(OutputStream &os) {
  auto bold = [&os](const char *text) {
    ColourScope scope(os, {.colour = TextColour::KeepColour, .bold = true});
    os << text;
  };
  auto coloured = [&os](TextColour colour, bool background, const char *text) {
    ColourScope scope(os, {.colour = colour, .bold = true, .background = background});
    os << text;
  };

  os << "The following description was requested by -dump-input=help to\n"
        "explain the input dump printed by Ostrel.\n"
        "\n"
        "Related command-line options:\n"
        "\n"
        "  - -dump-input=<value> enables or disables the input dump\n"
        "  - -dump-input-filter=<value> filters the input lines\n"
        "  - -dump-input-context=<N> adjusts the context of filtered lines\n"
        "  - -v and -vv add more annotations\n"
        "  - -color forces colors to be enabled both in the dump and below\n"
        "  - -help documents the above options in more detail\n"
        "\n"
        "These options can also be set via OSTREL_OPTS.  For example, for\n"
        "maximum debugging output on failures:\n"
        "\n"
        "  $ OSTREL_OPTS='-dump-input-filter=all -vv -color' ninja check\n"
        "\n"
        "Input dump annotation format:\n"
        "\n";
  os << "  - ";
  bold("L:");
  os << "     labels line number L of the input file\n"
        "           An extra space is added after each input line to represent"
        " the\n"
        "           newline character\n";
  os << "  - ";
  bold("T:L");
  os << "    labels the only match result for either (1) a pattern of type T"
        " from\n"
        "           line L of the check file if L is an integer or (2) the"
        " I-th implicit\n"
        "           pattern if L is \"imp\" followed by an integer "
        "I (index origin one)\n";
  os << "  - ";
  bold("T:L'N");
  os << "  labels the Nth match result for such a pattern\n";
  os << "  - ";
  bold("^~~");
  os << "    marks good match (reported if -v)\n";
  os << "  - ";
  bold("!~~");
  os << "    marks bad match, such as:\n"
        "           - CHECK-NEXT on same line as previous match (error)\n"
        "           - CHECK-NOT found (error)\n"
        "           - CHECK-DAG overlapping match (discarded, reported if "
        "-vv)\n";
  os << "  - ";
  bold("X~~");
  os << "    marks search range when no match is found, such as:\n"
        "           - CHECK-NEXT not found (error)\n"
        "           - CHECK-NOT not found (success, reported if -vv)\n"
        "           - CHECK-DAG not found after discarded matches (error)\n";
  os << "  - ";
  bold("?");
  os << "      marks fuzzy match when no match is found\n";
  os << "  - ";
  bold("...");
  os << "    indicates elided input lines and annotations, as specified by\n"
        "           -dump-input-filter and -dump-input-context\n";
  os << "  - colors ";
  coloured(TextColour::Green, false, "success");
  os << ", ";
  coloured(TextColour::Red, false, "error");
  os << ", ";
  coloured(TextColour::Magenta, false, "fuzzy match");
  os << ", ";
  coloured(TextColour::Cyan, false, "discarded match");
  os << ", ";
  coloured(TextColour::Cyan, true, "unmatched input");
  os << "\n";
}

void printDumpHelp() { printDumpHelp(standardOutput()); }

} // namespace ostrel
