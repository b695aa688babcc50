#include "update/DirectiveGenerator.h"

#include "support/fs/LargePages.h"
#include "support/fs/LineFeeds.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <unordered_map>

namespace ostrel {

namespace {

/// Numbers within this distance of an earlier number are written as that
/// number's variable plus or minus the difference.
constexpr int64_t nearbyDistance = 16;
/// A number is related only to the numbers of this many lines before it:
/// equal or near numbers further apart are equal by chance.
constexpr size_t numberReach = 4;
/// Longer numbers are not captured: their value may not fit the checker's
/// 64-bit arithmetic.
constexpr size_t longestCapturedNumber = 18;
constexpr unsigned numberRule = ~0u;
/// The highest group a back-reference can name.
constexpr unsigned lastBackReference = 9;
/// A large output's directives and values are many small allocations, and
/// touching fresh memory page by page would take much of the time: every so
/// many lines the heap's new memory is advised to take large pages.
constexpr size_t heapAdviceInterval = 1024;

bool isWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isDigitByte(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

enum class Role : uint8_t { Plain, Define, Use };

/// A scrubbed value of the output and the part it plays in the directives.
struct Value {
  size_t start = 0;
  size_t end = 0;
  unsigned rule = 0; ///< index into the scrubbers, or numberRule
  Role role = Role::Plain;
  /// For a Use: the Define it refers to, and (numbers) the difference.
  size_t definer = 0;
  int64_t offset = 0;
  uint64_t number = 0;
  bool capturable = true;
  /// For a Define: the variable's name, given when it is written.
  std::string name;
};

struct Line {
  TextRef text;
  size_t contentStart = 0;
  size_t contentEnd = 0;
  bool label = false;
  size_t firstValue = 0;
  size_t valueCount = 0;

  bool blankOnly() const { return contentStart == contentEnd && !text.empty(); }
};

/// Adds the decimal numbers of `line` between `from` and `to` that touch no
/// word byte and no value already in `spans` (which hold this line's only).
void findNumbers(TextRef line, size_t from, size_t to, std::vector<ScrubSpan> &spans) {
  std::vector<ScrubSpan> found;
  size_t next = 0;
  for (size_t i = from; i < to;) {
    while (next < spans.size() && spans[next].end <= i)
      ++next;
    if (next < spans.size() && spans[next].start <= i) {
      i = spans[next].end;
      continue;
    }
    if (!isDigitByte(line[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < line.size() && isDigitByte(line[end]))
      ++end;
    bool clear = !(i > 0 && isWordByte(line[i - 1])) &&
                 !(end < line.size() && isWordByte(line[end])) && end <= to &&
                 !(next < spans.size() && spans[next].start < end);
    if (clear)
      found.push_back(ScrubSpan{i, end, numberRule});
    i = end;
  }
  spans.insert(spans.end(), found.begin(), found.end());
  std::sort(spans.begin(), spans.end(),
            [](const ScrubSpan &a, const ScrubSpan &b) { return a.start < b.start; });
}

class Generator {
public:
  Generator(TextRef output, const GeneratorSettings &settings) : settings(settings) {
    splitLines(output);
  }

  GeneratedDirectives run() {
    GeneratedDirectives result;
    if (!refusal.empty()) {
      result.refusal = refusal;
      return result;
    }
    result.labelMatched = labelMatched;
    result.stemsFound = stemsFound;
    relateValues();
    std::vector<DirectiveBlock> &blocks = result.blocks;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i % heapAdviceInterval == 0)
        adviseHeapLargePages();
      if (lines[i].label || blocks.empty())
        blocks.emplace_back();
      // Rendering a label line makes its key.
      render(i, blocks.back().directives);
      if (!refusal.empty()) {
        result.blocks.clear();
        result.refusal = refusal;
        return result;
      }
      if (lines[i].label)
        blocks.back().labelKey = pendingLabelKey;
    }
    // Nothing may follow the last line: no further line, empty or not.
    if (settings.whole && !blocks.empty())
      blocks.back().directives.push_back(settings.prefix + "-NOT: {{[[:space:]](.|[[:space:]])}}");
    return result;
  }

private:
  const GeneratorSettings &settings;
  std::vector<Line> lines;
  std::vector<Value> values;
  std::unordered_map<std::string, unsigned> stemCounters;
  std::string pendingLabelKey;
  std::string refusal;
  std::vector<bool> labelMatched = std::vector<bool>(settings.labels.size());
  std::unordered_map<TextRef, size_t> labelLines;
  std::set<std::string> stemsFound;

  bool keepsAllBlanks() const { return settings.checker.strictWhitespace && settings.checker.matchFullLines; }
  /// Whole lines pinned by anchors written into each directive, which then
  /// covers the line's blanks too.
  bool wholeByBlocks() const { return settings.whole && !settings.checker.matchFullLines; }

  /// Marks a line that a label expression matches, noting each expression
  /// that matched; two label lines of the same text are refused, since the
  /// second label could not tell its block from the first.
  void findLabel(Line &line) {
    for (size_t i = 0; i < settings.labels.size(); ++i) {
      if (line.label && labelMatched[i])
        continue;
      if (!settings.labels[i].regex.search(line.text))
        continue;
      labelMatched[i] = true;
      if (line.label)
        continue;
      line.label = true;
      TextRef content = line.text.substr(line.contentStart, line.contentEnd - line.contentStart);
      auto [earlier, added] = labelLines.emplace(content, lines.size());
      if (!added)
        refusal = "--label='" + std::string(settings.labels[i].text) +
                  "' matches two lines of the same text, " + std::to_string(earlier->second + 1) +
                  " and " + std::to_string(lines.size() + 1) + " of the output ('" +
                  std::string(content) + "'), which a label cannot tell apart";
    }
  }

  void splitLines(TextRef output) {
    lines.reserve(countLineFeeds(output.data(), output.data() + output.size()) + 1);
    adviseLargePages(lines.data(), lines.capacity() * sizeof(Line));
    std::vector<ScrubSpan> spans;
    size_t start = 0;
    while (start < output.size() && refusal.empty()) {
      size_t end = output.find('\n', start);
      if (end == TextRef::npos)
        end = output.size();
      Line line;
      line.text = output.substr(start, end - start);
      line.contentStart = 0;
      line.contentEnd = line.text.size();
      if (!keepsAllBlanks() && !wholeByBlocks()) {
        while (line.contentStart < line.contentEnd && isBlank(line.text[line.contentStart]))
          ++line.contentStart;
        while (line.contentEnd > line.contentStart && isBlank(line.text[line.contentEnd - 1]))
          --line.contentEnd;
      }
      findLabel(line);
      if (!refusal.empty())
        return;
      spans.clear();
      if (!settings.scrubbers.empty())
        findScrubSpans(line.text, settings.scrubbers, spans);
      // Values that reach into blanks the reader drops cannot be written.
      std::erase_if(spans, [&](const ScrubSpan &span) {
        return span.start < line.contentStart || span.end > line.contentEnd;
      });
      for (const ScrubSpan &span : spans)
        stemsFound.insert(settings.scrubbers[span.rule].stem);
      if (settings.scrubNumbers)
        findNumbers(line.text, line.contentStart, line.contentEnd, spans);
      line.firstValue = values.size();
      line.valueCount = spans.size();
      for (const ScrubSpan &span : spans) {
        Value value;
        value.start = span.start;
        value.end = span.end;
        value.rule = span.rule;
        if (span.rule == numberRule) {
          TextRef digits = line.text.substr(span.start, span.end - span.start);
          value.capturable = digits.size() <= longestCapturedNumber &&
                             !(digits.size() > 1 && digits[0] == '0');
          for (char c : digits)
            value.number = value.number * 10 + static_cast<uint64_t>(c - '0');
        } else {
          value.capturable = settings.scrubbers[span.rule].capturable;
        }
        values.push_back(std::move(value));
      }
      if (lines.size() % heapAdviceInterval == 0)
        adviseHeapLargePages();
      lines.push_back(line);
      start = end + 1;
    }
  }

  /// Decides which values define variables and which use them. A value seen
  /// again becomes a use of its first occurrence; a number near a number of
  /// an earlier line becomes a use with a difference. Labels take part in
  /// neither, since a label may hold no variable.
  void relateValues() {
    std::unordered_map<std::string, size_t> firstOfText;
    struct Known {
      size_t definer;
      int64_t offset;
      size_t line;
    };
    std::unordered_map<uint64_t, Known> knownNumbers;
    std::vector<std::pair<uint64_t, Known>> lineNumbers;
    for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
      const Line &line = lines[lineIndex];
      if (line.label) {
        if (settings.checker.enableVarScope) {
          firstOfText.clear();
          knownNumbers.clear();
        }
        continue;
      }
      lineNumbers.clear();
      for (size_t i = line.firstValue; i < line.firstValue + line.valueCount; ++i) {
        Value &value = values[i];
        if (!value.capturable)
          continue;
        if (value.rule != numberRule) {
          if (!settings.scrubbers[value.rule].relates)
            continue;
          std::string key = settings.scrubbers[value.rule].stem;
          key += '\0';
          key += line.text.substr(value.start, value.end - value.start);
          auto [entry, inserted] = firstOfText.emplace(std::move(key), i);
          if (!inserted) {
            values[entry->second].role = Role::Define;
            value.role = Role::Use;
            value.definer = entry->second;
          }
          continue;
        }
        Known known{i, 0, lineIndex};
        for (int64_t distance = 0; distance <= nearbyDistance; ++distance) {
          bool found = false;
          for (int64_t delta : {distance, -distance}) {
            // The earlier number is value - delta.
            if ((delta > 0 && value.number < static_cast<uint64_t>(delta)) ||
                (delta < 0 && value.number > UINT64_MAX - static_cast<uint64_t>(-delta)))
              continue;
            auto earlier = knownNumbers.find(value.number - static_cast<uint64_t>(delta));
            if (earlier == knownNumbers.end() || lineIndex - earlier->second.line > numberReach)
              continue;
            values[earlier->second.definer].role = Role::Define;
            value.role = Role::Use;
            value.definer = earlier->second.definer;
            value.offset = earlier->second.offset + delta;
            known = Known{value.definer, value.offset, lineIndex};
            found = true;
            break;
          }
          if (found)
            break;
        }
        // Numbers become known after their line: a numeric variable cannot be
        // used in the directive that defines it.
        lineNumbers.emplace_back(value.number, known);
      }
      for (const auto &[number, known] : lineNumbers)
        knownNumbers.insert_or_assign(number, known);
    }
  }

  /// One piece of a pattern: literal output text, or a block as written.
  struct Piece {
    bool literal;
    std::string text;
    unsigned groups = 0; ///< capture groups the block opens
  };

  /// Adds a block. A "{" of literal text just before it would open a block
  /// with the block's own braces, so it becomes a one-character block.
  static void addBlock(std::vector<Piece> &pieces, Piece block) {
    if (block.text.starts_with("{{") && !pieces.empty() && pieces.back().literal &&
        pieces.back().text.ends_with('{')) {
      pieces.back().text.pop_back();
      if (pieces.back().text.empty())
        pieces.pop_back();
      pieces.push_back(Piece{false, "{{\\{}}", 1});
    }
    pieces.push_back(std::move(block));
  }

  /// Adds literal output text. The parser escapes literal text itself, so it
  /// is copied as it is, except what it would read otherwise: the first of
  /// two "{" or two "[" (which would open a block) and a carriage return
  /// (which would end the directive) become blocks.
  static void addLiteral(std::vector<Piece> &pieces, TextRef text) {
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\r') {
        addBlock(pieces, Piece{false, "{{[[.CR.]]}}", 1});
      } else if ((c == '{' || c == '[') && i + 1 < text.size() && text[i + 1] == c) {
        addBlock(pieces, Piece{false, std::string("{{\\") + c + "}}", 1});
      } else {
        if (pieces.empty() || !pieces.back().literal)
          pieces.push_back(Piece{true, ""});
        pieces.back().text += c;
      }
    }
  }

  static std::string renderPieces(const std::vector<Piece> &pieces) {
    std::string out;
    for (const Piece &piece : pieces)
      out += piece.text;
    return out;
  }

  std::string variableName(Value &value) {
    if (value.name.empty()) {
      const std::string &stem =
          value.rule == numberRule ? std::string("N") : settings.scrubbers[value.rule].stem;
      value.name = stem + std::to_string(++stemCounters[stem]);
    }
    return value.name;
  }

  /// The pattern of a line with values (or carriage returns) in it.
  std::vector<Piece> pieces(const Line &line, bool coverTrailingBlanks) {
    std::vector<Piece> result;
    size_t at = line.contentStart;
    std::unordered_map<size_t, unsigned> groupOfDefine;
    // The group number of the last piece, counted once over the pieces
    // before it: a line may hold many values.
    size_t counted = 0;
    unsigned groupsCounted = 0;
    auto groupOfLast = [&] {
      for (; counted + 1 < result.size(); ++counted)
        groupsCounted += result[counted].groups;
      return groupsCounted + 1;
    };
    if (settings.whole && !settings.checker.matchFullLines)
      addBlock(result, Piece{false, "{{^}}", 1});
    for (size_t i = line.firstValue; i < line.firstValue + line.valueCount; ++i) {
      Value &value = values[i];
      addLiteral(result, line.text.substr(at, value.start - at));
      at = value.end;
      const bool number = value.rule == numberRule;
      const std::string written = number ? "[0-9]+" : settings.scrubbers[value.rule].written;
      const unsigned writtenGroups = number ? 0 : settings.scrubbers[value.rule].writtenGroups;
      Role role = line.label ? Role::Plain : value.role;
      // A use in the defining directive is a back-reference, which can name
      // only the first nine groups.
      if (role == Role::Use && !number) {
        auto sameLine = groupOfDefine.find(value.definer);
        if (sameLine != groupOfDefine.end() && sameLine->second > lastBackReference)
          role = Role::Plain;
      }
      switch (role) {
      case Role::Plain:
        addBlock(result, Piece{false, "{{" + written + "}}", 1 + writtenGroups});
        break;
      case Role::Define: {
        std::string name = variableName(value);
        addBlock(result, number ? Piece{false, "[[#" + name + ":]]", 1}
                                : Piece{false, "[[" + name + ":" + written + "]]",
                                        1 + writtenGroups});
        groupOfDefine[i] = groupOfLast();
        break;
      }
      case Role::Use: {
        std::string text = "[[";
        if (number)
          text += "#";
        text += variableName(values[value.definer]);
        if (value.offset > 0)
          text += "+" + std::to_string(value.offset);
        else if (value.offset < 0)
          text += "-" + std::to_string(-value.offset);
        addBlock(result, Piece{false, text + "]]", 0});
        break;
      }
      }
    }
    addLiteral(result, line.text.substr(at, line.contentEnd - at));
    if (coverTrailingBlanks)
      addBlock(result,
               Piece{false, "{{" + std::string(line.text.substr(line.contentEnd)) + "}}", 1});
    if (settings.whole && !settings.checker.matchFullLines)
      addBlock(result, Piece{false, "{{$}}", 1});
    return result;
  }

  /// The directives of one line: usually one; a long line written with
  /// blocks is cut into pieces matched one after the other on the line
  /// (P-SAME), since the checker's time grows fast with the size of one
  /// expression. They are appended to `directives`.
  void render(size_t index, DirectiveList &directives) {
    const Line &line = lines[index];
    const std::string &prefix = settings.prefix;
    const bool first = index == 0;
    const TextRef suffix = line.label ? "-LABEL" : first ? "" : "-NEXT";
    const TextRef separator = keepsAllBlanks() ? "" : " ";

    if (line.text.empty() && !line.label && !first) {
      directives.append({prefix, "-EMPTY:"});
      return;
    }
    if (line.text.empty() || (line.contentStart == line.contentEnd && !keepsAllBlanks())) {
      addFirst(line, directives, {prefix, suffix, ":", separator, "{{^", line.text, "$}}"});
      return;
    }

    bool coverTrailing = !settings.checker.matchFullLines && line.contentEnd < line.text.size() &&
                         index + 1 < lines.size() && lines[index + 1].blankOnly() &&
                         !lines[index + 1].label;
    TextRef content = line.text.substr(line.contentStart, line.contentEnd - line.contentStart);
    bool needsBlocks = line.valueCount > 0 || coverTrailing || wholeByBlocks() ||
                       content.find('\r') != TextRef::npos;
    bool opensBlock = content.find("{{") != TextRef::npos || content.find("[[") != TextRef::npos;
    if (!needsBlocks && !opensBlock) {
      addFirst(line, directives, {prefix, suffix, ":", separator, content});
      return;
    }
    if (!needsBlocks && !settings.checker.matchFullLines) {
      addFirst(line, directives, {prefix, suffix, "{LITERAL}:", separator, content});
      return;
    }

    std::vector<std::string> parts =
        settings.checker.matchFullLines
            ? cutPieces(pieces(line, coverTrailing), maxBlocksPerWholeLine, maxWholeLineBytes)
            : cutPieces(pieces(line, coverTrailing), maxBlocksPerDirective, maxPatternBytes);
    if (parts.size() > 1 && settings.checker.matchFullLines) {
      refusal = "line " + std::to_string(index + 1) + " of the output needs more than " +
                std::to_string(maxBlocksPerWholeLine) + " expression blocks or " +
                std::to_string(maxWholeLineBytes) +
                " bytes in one directive, which --match-full-lines cannot cut";
      return;
    }
    addFirst(line, directives, {prefix, suffix, ":", separator, parts[0]});
    for (size_t i = 1; i < parts.size(); ++i)
      directives.append({prefix, "-SAME:", separator, parts[i]});
  }

  /// Cuts a line's pieces into patterns of at most `maxBlocks` blocks and
  /// about `maxBytes` bytes; a block is never cut, literal text may be, but
  /// no pattern is left with blanks alone (which the reader would drop).
  static std::vector<std::string> cutPieces(const std::vector<Piece> &pieces, size_t maxBlocks,
                                            size_t maxBytes) {
    std::vector<std::string> parts(1);
    size_t blocks = 0;
    for (const Piece &piece : pieces) {
      if (!piece.literal) {
        if (!parts.back().empty() &&
            (blocks == maxBlocks || parts.back().size() + piece.text.size() > maxBytes)) {
          parts.emplace_back();
          blocks = 0;
        }
        parts.back() += piece.text;
        ++blocks;
        continue;
      }
      TextRef rest = piece.text;
      while (!rest.empty()) {
        if (parts.back().size() >= maxBytes) {
          parts.emplace_back();
          blocks = 0;
        }
        size_t take = std::min(rest.size(), maxBytes - parts.back().size());
        parts.back() += rest.substr(0, take);
        rest.remove_prefix(take);
      }
    }
    // A part of blanks alone joins the one before it.
    for (size_t i = parts.size(); i-- > 1;)
      if (parts[i].find_first_not_of(" \t") == std::string::npos) {
        parts[i - 1] += parts[i];
        parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
      }
    return parts;
  }

  /// Adds the first directive of a line, made of `parts`; for a label line,
  /// remembers its key.
  void addFirst(const Line &line, DirectiveList &directives,
                std::initializer_list<TextRef> parts) {
    directives.append(parts);
    if (line.label) {
      TextRef directive = directives.back();
      size_t colon = directive.find(':', settings.prefix.size());
      bool literal = directive.compare(settings.prefix.size(), 15, "-LABEL{LITERAL}") == 0;
      TextRef pattern = directive.substr(colon + 1);
      if (!keepsAllBlanks())
        pattern = trimLeft(pattern, " \t");
      pendingLabelKey = labelKey(literal, pattern);
    }
  }
};

} // namespace

std::string labelKey(bool literal, TextRef patternText) {
  return std::string(literal ? "{LITERAL}:" : ":") + std::string(patternText);
}

GeneratedDirectives generateDirectives(TextRef output, const GeneratorSettings &settings) {
  return Generator(output, settings).run();
}

} // namespace ostrel
