#include "run/TestScript.h"

#include <cstring>

namespace ostrel {

namespace {

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

enum class Marker { Run, Requires, Unsupported, XFail };

struct MarkerWord {
  TextRef word;
  Marker marker;
};

constexpr MarkerWord markerWords[] = {
    {"RUN:", Marker::Run},
    {"REQUIRES:", Marker::Requires},
    {"UNSUPPORTED:", Marker::Unsupported},
    {"XFAIL:", Marker::XFail},
};

/// The position after the marker `word` in `line`, or npos: the word must
/// not follow a word character.
size_t findMarker(TextRef line, TextRef word) {
  for (size_t at = line.find(word); at != TextRef::npos; at = line.find(word, at + 1))
    if (at == 0 || !isWordChar(line[at - 1]))
      return at + word.size();
  return TextRef::npos;
}

void addFeatures(TextRef list, std::vector<std::string> &features) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    TextRef feature = trim(list.substr(0, comma));
    if (!feature.empty())
      features.emplace_back(feature);
    if (comma == TextRef::npos)
      break;
    list.remove_prefix(comma + 1);
  }
}

/// Calls `visit(marker, rest of line)` for each marker line of `text`; stops
/// when it answers false.
template <class Visit> void forEachMarker(TextRef text, Visit &&visit) {
  // A line is looked at only when it holds a colon: most lines of a test hold
  // none of the markers, and the colon search is one fast pass.
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    const char *colon = static_cast<const char *>(
        std::memchr(text.data() + lineStart, ':', text.size() - lineStart));
    if (!colon)
      return;
    size_t colonAt = static_cast<size_t>(colon - text.data());
    size_t start = text.rfind('\n', colonAt);
    start = start == TextRef::npos ? 0 : start + 1;
    size_t end = text.find('\n', colonAt);
    if (end == TextRef::npos)
      end = text.size();
    TextRef line = text.substr(start, end - start);
    for (const MarkerWord &entry : markerWords) {
      size_t after = findMarker(line, entry.word);
      if (after != TextRef::npos) {
        if (!visit(entry.marker, line.substr(after)))
          return;
        break;
      }
    }
    lineStart = end + 1;
  }
}

} // namespace

TestScript readTestScript(TextRef text) {
  TestScript script;
  bool continuing = false;
  forEachMarker(text, [&](Marker marker, TextRef rest) {
    switch (marker) {
    case Marker::Run: {
      TextRef command = trim(rest);
      bool continues = !command.empty() && command.back() == '\\';
      if (continues)
        command = trimRight(command.substr(0, command.size() - 1));
      if (continuing) {
        std::string &joined = script.commands.back();
        if (!joined.empty() && !command.empty())
          joined += ' ';
        joined += command;
      } else {
        script.commands.emplace_back(command);
      }
      continuing = continues;
      break;
    }
    case Marker::Requires: addFeatures(rest, script.requires_); break;
    case Marker::Unsupported: addFeatures(rest, script.unsupported); break;
    case Marker::XFail: addFeatures(rest, script.xfail); break;
    }
    return true;
  });
  script.danglingContinuation = continuing;
  return script;
}

bool holdsRunLine(TextRef text) {
  bool found = false;
  forEachMarker(text, [&](Marker marker, TextRef) {
    found = marker == Marker::Run;
    return !found;
  });
  return found;
}

} // namespace ostrel
