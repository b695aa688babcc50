#include "engine/PatternPieces.h"

#include "engine/CheckPattern.h"
#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/fs/FileBuffer.h"
#include "support/regex/CompiledRegex.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

namespace ostrel {

namespace {

/// Patterns parsed from texts registered as "check.txt", searched in texts
/// registered as "input.txt"; "P" is a string variable defined before them
/// all, "M" a numeric one.
struct PiecesFixture : testing::Test {
  CheckOptions options;
  SourceRegistry registry;
  VariableContext context;
  std::deque<std::string> texts; // never moves what it holds

  PiecesFixture() {
    context.createLineNumberVariable();
    context.markStringName("P");
    context.setStringValue("P", "a.b");
    CheckPattern numeric = parse("[[#M:]]", 1);
    dropError(numeric.match(input("7"), registry).error);
  }

  TextRef add(TextRef text, TextRef name) {
    texts.emplace_back(text);
    TextRef stored = texts.back();
    registry.addBuffer(viewText(stored, name));
    return stored;
  }
  /// The pattern, or one with no text when the text is rejected.
  CheckPattern parse(TextRef text, unsigned line = 2) {
    CheckPattern pattern(CheckKind(DirectiveType::Plain), context, line);
    DiagnosticRecorder reports;
    if (ErrorValue rejected =
            pattern.parse(add(text, "check.txt"), "CHECK", registry, options, reports)) {
      dropError(std::move(rejected));
      return CheckPattern(CheckKind(DirectiveType::Plain), context, line);
    }
    return pattern;
  }
  TextRef input(TextRef text) { return add(text, "input.txt"); }

  /// What a search tells: where the match is, what each definition of the
  /// pattern captured, and the messages of any error.
  std::string describe(const CheckPattern &pattern, TextRef range, bool found, size_t pos,
                       size_t len, ErrorValue error) {
    std::string out = found ? std::to_string(pos) + "+" + std::to_string(len) : "none";
    for (const auto &[name, group] : pattern.stringDefs()) {
      std::optional<TextRef> value = context.stringValue(name);
      out += " " + std::string(name) + "=";
      if (value)
        out += std::to_string(value->data() - range.data()) + ":" + std::string(*value);
    }
    for (const auto &[name, definition] : pattern.numericDefs()) {
      const std::optional<TextRef> &captured = definition.first->capturedText;
      out += " #" + std::string(name) + "=";
      if (captured)
        out += std::to_string(captured->data() - range.data()) + ":" + std::string(*captured);
    }
    std::string message = errorMessage(std::move(error));
    if (!message.empty() && (found || message != "String not found in input"))
      out += " error: " + message;
    return out;
  }

  /// The search as the whole expression does it: values written into the
  /// expression, the expression searched with its groups, the definitions
  /// taking their groups.
  std::string wholeExpressionSearch(const CheckPattern &pattern, TextRef range) {
    std::string expanded = pattern.regexText();
    size_t inserted = 0;
    for (const Substitution *substitution : pattern.substitutions()) {
      ValueOrError<std::string> value = substitution->result();
      if (!value)
        return describe(pattern, range, false, 0, 0, value.takeError());
      expanded.insert(substitution->insertAt() + inserted, *value);
      inserted += value->size();
    }
    CompiledRegex regex(expanded, CompiledRegex::newlineSensitive |
                                      (options.ignoreCase ? CompiledRegex::ignoreCase : 0u));
    std::vector<TextRef> groups;
    if (!regex.search(range, &groups))
      return describe(pattern, range, false, 0, 0, makePatternNotFoundError());
    auto groupText = [&](unsigned group) {
      return groups[group].data() ? groups[group] : TextRef(groups[0].data(), 0);
    };
    for (const auto &[name, group] : pattern.stringDefs())
      context.setStringValue(name, groupText(group));
    ErrorValue error;
    for (const auto &[name, definition] : pattern.numericDefs()) {
      auto [variable, group] = definition;
      ValueOrError<NumericValue> value = parseValue(variable->format, groupText(group), registry);
      if (!value) {
        error = value.takeError();
        break;
      }
      variable->setValue(*value, groupText(group));
    }
    return describe(pattern, range, true, size_t(groups[0].data() - range.data()),
                    groups[0].size(), std::move(error));
  }

  std::string search(const CheckPattern &pattern, TextRef range) {
    SearchResult result = pattern.match(range, registry);
    return describe(pattern, range, result.found, result.pos, result.len,
                    std::move(result.error));
  }
};

TEST_F(PiecesFixture, OnlyRowsOfTextsValuesAndPiecesAreSearchedByPiece) {
  struct Case {
    TextRef pattern;
    bool usable;
  } cases[] = {
      {"a {{[0-9]+}} b", true},
      {"{{x}}", true},
      {"[[X:[a-z]+]] and [[P]] and [[#M+1]]", true},
      {"[[Y:]] z", true},
      {"def [[Z:a]] use [[Z]]", false}, // a back-reference
      {"[[#N:M+1]]", false},             // a value inside a group
      {"plain [[P]]", false},            // no piece: searched as text
      {"plain", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(parse(c.pattern).details().pieces.usable(), c.usable) << c.pattern;
  options.matchFullLines = true;
  EXPECT_FALSE(parse("a {{b}}").details().pieces.usable());
}

TEST_F(PiecesFixture, FindsWhatTheWholeExpressionFinds) {
  struct Case {
    TextRef pattern;
    TextRef input;
    TextRef expected;
  } cases[] = {
      {"mov {{0x[0-9a-f]+}}, %rax", "  mov 0x1f, %rbx\n  mov 0x2e, %rax\n", "19+14"},
      // The leftmost start wins over a longer match further on.
      {"a{{b*}}c", "xabbbc abc", "1+5"},
      // All lengths of a piece are tried against the text after it.
      {"{{[0-9]+}}1", "12131", "0+5"},
      {"{{[0-9]+}}1x", "12131 x", "none"},
      // Anchors and word boundaries see the bytes around the piece.
      {"a{{$}}", "ab\na\n", "3+1"},
      {"{{^}}b", "ab\nb", "3+1"},
      {"x{{[[:<:]]}}y", "x y\nx+y", "none"},
      {"+{{[[:<:]]}}y", "x y\nx+y", "5+2"},
      // Captures take the span of their piece.
      {"def [[D:0x[0-9a-f]+]] ; slot 7", "def 0x12 ; slot 8\ndef 0xab ; slot 7\n",
       "18+17 D=22:0xab"},
      {"k [[E:]]v", "k v", "0+3 E=2:"},
      {"[[F:[a-z]+]]=[[#G:]]", "x=a ab=23", "4+5 F=4:ab #G=7:23"},
      // A piece that could end in two places that both lead on leaves the
      // split to the whole expression: the first piece takes the longest.
      {"[[H:a*]][[I:a*]]b", "aaab", "0+4 H=0:aaa I=3:"},
      // Pieces that can match a line feed are left to the whole expression.
      {"a{{[[:space:]]}}b", "a\nb", "0+3"},
      {"[[P]]-{{[0-9]}}", "axb-1 a.b-2", "6+5"},
  };
  for (const Case &c : cases) {
    CheckPattern pattern = parse(c.pattern);
    TextRef range = input(c.input);
    EXPECT_EQ(search(pattern, range), c.expected) << c.pattern << " in " << c.input;
    EXPECT_EQ(wholeExpressionSearch(pattern, range), c.expected) << c.pattern << " in " << c.input;
  }
}

TEST_F(PiecesFixture, AgreesWithTheWholeExpressionOnRandomPatterns) {
  static const char *const texts[] = {"a", "b", "ab", " ", "a b", "x", "1", "A"};
  static const char *const expressions[] = {
      "a*",  "[ab]+", "b?", "a|ab", "(a|b)*", "[^x]*", "a{1,2}", "^",          "$",
      "[[:<:]]a", "b[[:>:]]", ".", ".*", "[0-9]+", "x*", "(a)\\1", "[[:space:]]", "a|$"};
  std::mt19937 random(2026);
  auto pick = [&](size_t n) { return size_t(random() % n); };
  int piecewise = 0;
  for (int round = 0; round < 4000; ++round) {
    options.ignoreCase = round % 3 == 0;
    std::string text;
    std::vector<std::string> defined;
    for (size_t part = 1 + pick(5); part > 0; --part) {
      switch (pick(8)) {
      case 0:
      case 1:
      case 2:
        text += texts[pick(std::size(texts))];
        break;
      case 3:
      case 4:
        text += std::string("{{") + expressions[pick(std::size(expressions))] + "}}";
        break;
      case 5: {
        std::string name = "S" + std::to_string(defined.size());
        defined.push_back(name);
        text += "[[" + name + ":" + (pick(6) ? expressions[pick(std::size(expressions))] : "") +
                "]]";
        break;
      }
      case 6:
        text += pick(3) ? "[[P]]" : defined.empty() ? "[[#M+1]]" : "[[" + defined[0] + "]]";
        break;
      default:
        text += "[[#N" + std::to_string(part) + ":]]";
        break;
      }
    }
    CheckPattern pattern = parse(text);
    // Patterns of fixed text have no expression.
    if (pattern.location == nullptr || !pattern.fixedText.empty())
      continue;
    piecewise += pattern.details().pieces.usable();
    for (int n = 0; n < 4; ++n) {
      std::string subject;
      for (size_t length = pick(30); length > 0; --length)
        subject += "ab x1A\n."[pick(8)];
      TextRef range = input(subject);
      std::string expected = wholeExpressionSearch(pattern, range);
      EXPECT_EQ(search(pattern, range), expected)
          << "'" << text << "' in '" << subject << "', ignoring case " << options.ignoreCase;
    }
  }
  EXPECT_GT(piecewise, 1000);
}

} // namespace

} // namespace ostrel
