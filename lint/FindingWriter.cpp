#include "lint/FindingWriter.h"

#include "support/diag/ColourScope.h"
#include "support/diag/OutputStream.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>

namespace ostrel {

namespace {

using Json = nlohmann::ordered_json;

struct FormatName {
  TextRef name;
  FindingFormat format;
};

constexpr FormatName formatNames[] = {
    {"text", FindingFormat::Text},
    {"json", FindingFormat::Json},
    {"sarif", FindingFormat::Sarif},
    {"github", FindingFormat::Github},
};

/// A quoted line longer than this is cut to this much around the finding.
constexpr size_t quotedBytes = 240;
/// How much of that comes before the finding.
constexpr size_t quotedBytesBefore = 80;
constexpr size_t tabStop = 8;
constexpr TextRef elision = "...";

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool isControl(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

size_t characters(const char *from, const char *to) {
  return static_cast<size_t>(std::count_if(from, to, [](char c) { return !isContinuation(c); }));
}

/// The line of `text` holding `at`, without its line feed or the carriage
/// return before it.
TextRef lineAround(TextRef text, const char *at) {
  size_t offset = static_cast<size_t>(at - text.data());
  size_t lineFeed = offset == 0 ? TextRef::npos : text.rfind('\n', offset - 1);
  size_t start = lineFeed == TextRef::npos ? 0 : lineFeed + 1;
  size_t end = std::min(text.find('\n', offset), text.size());
  if (end > start && text[end - 1] == '\r' && offset < end)
    --end;
  return text.substr(start, end - start);
}

const char *clamp(const char *at, TextRef line) {
  return std::clamp(at, line.data(), line.data() + line.size());
}

std::string hexByte(char c) {
  static constexpr char digits[] = "0123456789ABCDEF";
  unsigned char byte = static_cast<unsigned char>(c);
  return {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
}

const char *severityName(DiagSeverity severity) {
  return severity == DiagSeverity::Error ? "error" : "warning";
}

/// A workflow command's property value or message, with the characters that
/// end them written as %XX.
std::string workflowEscaped(TextRef text, bool property) {
  std::string escaped;
  for (char c : text) {
    if (c == '%')
      escaped += "%25";
    else if (c == '\r')
      escaped += "%0D";
    else if (c == '\n')
      escaped += "%0A";
    else if (property && c == ':')
      escaped += "%3A";
    else if (property && c == ',')
      escaped += "%2C";
    else
      escaped += c;
  }
  return escaped;
}

/// A relative or absolute path as a URI reference: every byte but the
/// unreserved ones and "/" percent-encoded.
std::string uriOf(TextRef path) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string uri;
  for (char c : path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
      uri += c;
    else
      uri += {'%', digits[byte >> 4], digits[byte & 15]};
  }
  return uri;
}

std::string withCheck(const Finding &finding) {
  return finding.message + " [-W" + std::string(checkName(finding.check)) + "]";
}

std::string dumped(const Json &json, int indent = -1) {
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

} // namespace

std::optional<FindingFormat> findingFormatNamed(TextRef name) {
  for (const FormatName &entry : formatNames)
    if (entry.name == name)
      return entry.format;
  return std::nullopt;
}

FilePlace filePlace(TextRef text, const char *start, const char *end) {
  TextRef line = lineAround(text, start);
  FilePlace place;
  place.line = 1 + static_cast<unsigned>(std::count(text.data(), line.data(), '\n'));
  place.column = 1 + static_cast<unsigned>(characters(line.data(), clamp(start, line)));
  const char *stop = clamp(end, line);
  place.endColumn = stop > start ? 1 + static_cast<unsigned>(characters(line.data(), stop))
                                 : place.column + 1;
  return place;
}

std::string quotedLine(TextRef text, const char *location, const char *start, const char *end) {
  TextRef line = lineAround(text, location);
  const char *lineEnd = line.data() + line.size();
  const char *from = line.data();
  const char *to = lineEnd;
  if (line.size() > quotedBytes) {
    from = std::max(line.data(), clamp(location, line) - std::min<ptrdiff_t>(
                                                            quotedBytesBefore,
                                                            clamp(location, line) - line.data()));
    to = from + std::min<size_t>(quotedBytes, static_cast<size_t>(lineEnd - from));
    from = std::max(line.data(), to - quotedBytes);
    while (from > line.data() && isContinuation(*from))
      --from;
    while (to < lineEnd && isContinuation(*to))
      ++to;
  }

  std::string shown;
  // The output column where each byte from `from` to `to` starts.
  std::vector<size_t> columns;
  size_t column = 0;
  if (from > line.data()) {
    shown += elision;
    column = elision.size();
  }
  for (const char *p = from; p < to; ++p) {
    columns.push_back(column);
    if (*p == '\t') {
      size_t width = tabStop - column % tabStop;
      shown.append(width, ' ');
      column += width;
    } else if (isControl(*p)) {
      shown += hexByte(*p);
      column += 4;
    } else {
      shown += *p;
      column += isContinuation(*p) ? 0 : 1;
    }
  }
  columns.push_back(column);
  if (to < lineEnd)
    shown += elision;

  auto columnOf = [&](const char *at) {
    return columns[static_cast<size_t>(std::clamp(at, from, to) - from)];
  };
  std::string marks(column + 1, ' ');
  if (start && end > start)
    for (size_t i = columnOf(start); i < columnOf(end); ++i)
      marks[i] = '~';
  marks[columnOf(location)] = '^';
  marks.erase(marks.find_last_not_of(' ') + 1);
  return shown + "\n" + marks;
}

struct FindingWriter::Sarif {
  Json results = Json::array();
};

FindingWriter::FindingWriter(FindingFormat format, OutputStream &output, OutputStream &errors)
    : format(format), output(output), errors(errors) {
  if (format == FindingFormat::Sarif)
    sarif = std::make_unique<Sarif>();
}

FindingWriter::~FindingWriter() = default;

void FindingWriter::write(TextRef fileName, TextRef text, const Finding &finding,
                          DiagSeverity severity) {
  const char *end = finding.range.isValid() ? finding.range.end : nullptr;
  const char *start = finding.range.isValid() ? finding.range.start : finding.location;
  FilePlace place = filePlace(text, finding.location, std::max(end, finding.location));
  TextRef name = checkName(finding.check);
  switch (format) {
  case FindingFormat::Text: {
    std::string report;
    StringOutputStream os(report);
    os.allowColours(errors.coloursAllowed());
    ColourPolicy policy =
        coloursWanted(errors, ColourPolicy::Auto) ? ColourPolicy::Enable : ColourPolicy::Disable;
    const ColourStyle bold = {.colour = TextColour::KeepColour, .bold = true};
    {
      ColourScope location(os, bold, policy);
      os << fileName << ':' << place.line << ':' << place.column << ": ";
    }
    writeSeverityLabel(os, severity, policy);
    {
      ColourScope message(os, bold, policy);
      os << withCheck(finding) << '\n';
    }
    std::string quoted = quotedLine(text, finding.location, start, end);
    size_t caretStart = quoted.find('\n') + 1;
    os << TextRef(quoted).substr(0, caretStart);
    {
      ColourScope green(os, {.colour = TextColour::Green, .bold = true}, policy);
      os << TextRef(quoted).substr(caretStart);
    }
    os << '\n';
    os.flush();
    errors.write(report);
    return;
  }
  case FindingFormat::Github:
    output << "::" << severityName(severity) << " file=" << workflowEscaped(fileName, true)
           << ",line=" << place.line << ",col=" << place.column
           << ",endColumn=" << place.endColumn
           << ",title=" << workflowEscaped("ostrel-lint " + std::string(name), true)
           << "::" << workflowEscaped(withCheck(finding), false) << '\n';
    return;
  case FindingFormat::Json:
  case FindingFormat::Sarif:
    break;
  }

  std::optional<FilePlace> fixPlace;
  if (finding.fix)
    fixPlace = filePlace(text, finding.fix->range.start, finding.fix->range.end);
  if (format == FindingFormat::Json) {
    Json object = {{"file", fileName},
                   {"line", place.line},
                   {"column", place.column},
                   {"endColumn", place.endColumn},
                   {"severity", severityName(severity)},
                   {"check", name},
                   {"message", finding.message}};
    if (fixPlace)
      object["fix"] = {{"line", fixPlace->line},
                       {"column", fixPlace->column},
                       {"endColumn", fixPlace->endColumn},
                       {"replacement", finding.fix->replacement}};
    output << dumped(object) << '\n';
    return;
  }

  auto region = [](const FilePlace &at) {
    return Json{{"startLine", at.line}, {"startColumn", at.column}, {"endColumn", at.endColumn}};
  };
  Json artifact = {{"uri", uriOf(fileName)}};
  Json result = {
      {"ruleId", name},
      {"ruleIndex", static_cast<size_t>(finding.check)},
      {"level", severityName(severity)},
      {"message", {{"text", finding.message}}},
      {"locations", Json::array({{{"physicalLocation",
                                   {{"artifactLocation", artifact}, {"region", region(place)}}}}})},
  };
  if (fixPlace)
    result["fixes"] = Json::array(
        {{{"description", {{"text", "replace with '" + finding.fix->replacement + "'"}}},
          {"artifactChanges",
           Json::array({{{"artifactLocation", artifact},
                         {"replacements",
                          Json::array({{{"deletedRegion", region(*fixPlace)},
                                        {"insertedContent",
                                         {{"text", finding.fix->replacement}}}}})}}})}}});
  sarif->results.push_back(std::move(result));
}

void FindingWriter::finish() {
  if (!sarif)
    return;
  Json rules = Json::array();
  for (const LintCheckInfo &info : lintChecks())
    rules.push_back({{"id", info.name},
                     {"shortDescription", {{"text", info.help}}},
                     {"defaultConfiguration", {{"level", severityName(info.severity)}}}});
  Json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
      {"version", "2.1.0"},
      {"runs", Json::array({{{"tool", {{"driver", {{"name", "ostrel-lint"}, {"rules", rules}}}}},
                             {"columnKind", "unicodeCodePoints"},
                             {"results", std::move(sarif->results)}}})},
  };
  output << dumped(log, 2) << '\n';
}

} // namespace ostrel
