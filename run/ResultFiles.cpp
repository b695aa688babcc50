#include "run/ResultFiles.h"

#include "run/WholeFile.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>

namespace ostrel {

namespace fs = std::filesystem;

namespace {

/// The length of the valid UTF-8 sequence at `at` that XML allows, or 0.
size_t xmlCharacterLength(TextRef text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length;
  uint32_t code;
  if (lead < 0x80)
    return (lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r') ? 1 : 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size())
    return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  bool overlong = code < smallest[length];
  bool forbidden = (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF ||
                   code > 0x10FFFF;
  return overlong || forbidden ? 0 : length;
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

/// The short message of a failure: why, or else how its command ended.
std::string failureMessage(const TestOutcome &outcome) {
  if (!outcome.message.empty())
    return outcome.message;
  if (outcome.hasStatus)
    return endDescription(outcome);
  return resultName(outcome.result);
}

} // namespace

std::string xmlEscape(TextRef text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char c = text[at];
    switch (c) {
    case '&': escaped += "&amp;"; ++at; continue;
    case '<': escaped += "&lt;"; ++at; continue;
    case '>': escaped += "&gt;"; ++at; continue;
    case '"': escaped += "&quot;"; ++at; continue;
    case '\'': escaped += "&apos;"; ++at; continue;
    // A carriage return in an attribute would be read back as a blank.
    case '\r': escaped += "&#13;"; ++at; continue;
    default: break;
    }
    size_t length = xmlCharacterLength(text, at);
    if (length == 0) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      escaped += hex;
      ++at;
      continue;
    }
    escaped.append(text.data() + at, length);
    at += length;
  }
  return escaped;
}

ErrorValue writeJUnitFile(const std::string &path, const TestPlan &plan,
                          const TestOutcomes &outcomes, double seconds) {
  size_t tests = 0, failures = 0, skipped = 0;
  for (const auto &outcome : outcomes) {
    if (!outcome)
      continue;
    ++tests;
    failures += isFailure(outcome->result);
    skipped += outcome->result == TestResult::Unsupported;
  }
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n"
                    "<testsuite name=\"ostrel-run\" tests=\"" + std::to_string(tests) +
                    "\" failures=\"" + std::to_string(failures) + "\" errors=\"0\" skipped=\"" +
                    std::to_string(skipped) + "\" time=\"" + secondsText(seconds) + "\">\n";
  for (size_t test = 0; test < outcomes.size(); ++test) {
    if (!outcomes[test])
      continue;
    const TestOutcome &outcome = *outcomes[test];
    fs::path file(plan.tests[test].path);
    std::string folder = file.parent_path().string();
    xml += "<testcase classname=\"" + xmlEscape(folder.empty() ? "." : folder) + "\" name=\"" +
           xmlEscape(file.filename().string()) + "\" time=\"" + secondsText(outcome.seconds) +
           "\"";
    if (isFailure(outcome.result)) {
      xml += ">\n<failure type=\"" + std::string(resultName(outcome.result)) + "\" message=\"" +
             xmlEscape(failureMessage(outcome)) + "\">" + xmlEscape(failureDetails(outcome)) +
             "</failure>\n</testcase>\n";
    } else if (outcome.result == TestResult::Unsupported) {
      xml += ">\n<skipped message=\"" + xmlEscape(outcome.message) + "\"/>\n</testcase>\n";
    } else {
      xml += "/>\n";
    }
  }
  xml += "</testsuite>\n</testsuites>\n";
  return writeWholeFile(path, xml);
}

ErrorValue writeJsonFile(const std::string &path, const TestPlan &plan,
                         const TestOutcomes &outcomes, double seconds) {
  nlohmann::json tests = nlohmann::json::array();
  for (size_t test = 0; test < outcomes.size(); ++test) {
    if (!outcomes[test])
      continue;
    const TestOutcome &outcome = *outcomes[test];
    nlohmann::json entry = {{"path", plan.tests[test].path},
                            {"result", resultName(outcome.result)},
                            {"seconds", outcome.seconds},
                            {"command", outcome.command.empty() ? nlohmann::json()
                                                                : nlohmann::json(outcome.command)},
                            {"exit_status", outcome.hasStatus && !outcome.signalled
                                                ? nlohmann::json(outcome.status)
                                                : nlohmann::json()},
                            {"signal", outcome.hasStatus && outcome.signalled
                                           ? nlohmann::json(outcome.status)
                                           : nlohmann::json()},
                            {"message", outcome.message},
                            {"output", outcome.output},
                            {"omitted_bytes", outcome.omittedBytes}};
    if (!outcome.scratch.empty())
      entry["scratch"] = outcome.scratch;
    tests.push_back(std::move(entry));
  }
  nlohmann::json document = {{"seconds", seconds}, {"tests", std::move(tests)}};
  // Invalid UTF-8 in an output becomes U+FFFD instead of failing the dump.
  std::string text =
      document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  return writeWholeFile(path, text);
}

} // namespace ostrel
