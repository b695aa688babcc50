#include "engine/CheckPattern.h"

#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "support/diag/AlreadyReportedError.h"

#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"
#include "support/regex/CompiledRegex.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace ostrel {

namespace {

std::string wildcard(NumberFormat format) {
  ValueOrError<std::string> text = numberWildcard(format);
  EXPECT_TRUE(text.hasValue());
  return text ? *text : (dropError(text.takeError()), std::string());
}

class CheckPatternTest : public testing::Test {
protected:
  CheckPatternTest() { context.createLineNumberVariable(); }

  /// Puts `text` into a new buffer of the registry, as a check file would be.
  TextRef addText(TextRef text) {
    unsigned id = registry.addBuffer(copyText(text, "check.txt"));
    return registry.buffer(id).text();
  }

  /// Parses `text` as a pattern of `kind`; `errors` receives what was reported.
  CheckPattern parse(TextRef text, CheckKind kind, bool &failed, std::string &errors) {
    CheckPattern pattern(kind, context, 1);
    TextRef stored = addText(text);
    DiagnosticRecorder reports;
    ErrorValue rejected = pattern.parse(stored, "CHECK", registry, options, reports);
    failed = rejected.isError();
    dropError(std::move(rejected));
    errors = reports.printed();
    return pattern;
  }

  CheckPattern parseOk(TextRef text, CheckKind kind = CheckKind(DirectiveType::Plain)) {
    bool failed;
    std::string errors;
    CheckPattern pattern = parse(text, kind, failed, errors);
    EXPECT_FALSE(failed) << text << "\n" << errors;
    EXPECT_EQ(errors, "") << text;
    return pattern;
  }

  /// The first line of the error that parsing `text` reports.
  std::string firstError(TextRef text, CheckKind kind = CheckKind(DirectiveType::Plain)) {
    bool failed;
    std::string errors;
    parse(text, kind, failed, errors);
    EXPECT_TRUE(failed) << text;
    return errors.substr(0, errors.find('\n'));
  }

  SourceRegistry registry;
  VariableContext context;
  CheckOptions options;
};

struct AssemblyCase {
  const char *text;
  const char *fixedText;
  std::string regexText;
  std::map<std::string, unsigned> stringDefs;
  std::map<std::string, unsigned> numericDefs;
  std::vector<std::pair<std::string, size_t>> substitutions; // written text, insertAt
};

std::map<std::string, unsigned> stringDefsOf(const CheckPattern &pattern) {
  std::map<std::string, unsigned> defs;
  for (const auto &[name, group] : pattern.stringDefs())
    defs[std::string(name)] = group;
  return defs;
}

std::map<std::string, unsigned> numericDefsOf(const CheckPattern &pattern) {
  std::map<std::string, unsigned> defs;
  for (const auto &[name, def] : pattern.numericDefs()) {
    EXPECT_EQ(def.first->name, name);
    defs[std::string(name)] = def.second;
  }
  return defs;
}

std::vector<std::pair<std::string, size_t>> substitutionsOf(const CheckPattern &pattern) {
  std::vector<std::pair<std::string, size_t>> result;
  for (const Substitution *s : pattern.substitutions())
    result.emplace_back(std::string(s->text()), s->insertAt());
  return result;
}

void expectAssembly(const CheckPattern &pattern, const AssemblyCase &c) {
  EXPECT_EQ(pattern.fixedText, c.fixedText) << c.text;
  EXPECT_EQ(pattern.regexText(), c.regexText) << c.text;
  EXPECT_EQ(stringDefsOf(pattern), c.stringDefs) << c.text;
  EXPECT_EQ(numericDefsOf(pattern), c.numericDefs) << c.text;
  EXPECT_EQ(substitutionsOf(pattern), c.substitutions) << c.text;
}

} // namespace

TEST_F(CheckPatternTest, AssemblesFixedTextAndExpressions) {
  const std::string unsignedNumber = wildcard(NumberFormat(NumberKind::Unsigned));
  const std::string hexNumber = wildcard(NumberFormat(NumberKind::LowerHex));
  const AssemblyCase cases[] = {
      {"foo", "foo", "", {}, {}, {}},
      {"{", "{", "", {}, {}, {}},
      {"foo   ", "foo", "", {}, {}, {}},
      {"a.b[c] {x}", "a.b[c] {x}", "", {}, {}, {}},
      {"a.b{{x|y}}c*", "", "a\\.b(x|y)c\\*", {}, {}, {}},
      {"{{a}}{{b}}", "", "(a)(b)", {}, {}, {}},
      {"{{a}b}}", "", "(a}b)", {}, {}, {}},
      {"[[X:foo]] [[X]]", "", "(foo) \\1", {{"X", 1}}, {}, {}},
      {"[[X]] [[X:foo]]", "", " (foo)", {{"X", 1}}, {}, {{"X", 0}}},
      {"[[[X]]", "", "\\[", {}, {}, {{"X", 2}}},
      {"[[X:]]", "", "()", {{"X", 1}}, {}, {}},
      {"[[X:[a]]]", "", "([a])", {{"X", 1}}, {}, {}},
      {"[[X:a\\]b]]", "", "(a\\]b)", {{"X", 1}}, {}, {}},
      {"{{(a)(b)}}[[X:c]][[X]]", "", "((a)(b))(c)\\4", {{"X", 4}}, {}, {}},
      {"[[$G:x]][[_y1:z]]", "", "(x)(z)", {{"$G", 1}, {"_y1", 2}}, {}, {}},
      {"n=[[#N:]]", "", "n=(" + unsignedNumber + ")", {}, {{"N", 1}}, {}},
      {"[[#%x,H:]] [[#K+1]]", "", "(" + hexNumber + ") ", {}, {{"H", 1}}, {{"K+1", hexNumber.size() + 3}}},
      {"a[[#M:7]]", "", "a()", {}, {{"M", 1}}, {{"M:7", 2}}},
      {"[[@LINE]]x[[@LINE+1]]", "", "x", {}, {}, {{"@LINE", 0}, {"@LINE+1", 1}}},
      {"[[#@LINE-1]]", "", "", {}, {}, {{"@LINE-1", 0}}},
  };
  for (const AssemblyCase &c : cases)
    expectAssembly(parseOk(c.text), c);
}

TEST_F(CheckPatternTest, FullLineAnchorsAndWhitespace) {
  options.matchFullLines = true;
  expectAssembly(parseOk("a [[X:b]]"), {"a [[X:b]]", "", "^ *a (b) *$", {{"X", 1}}, {}, {}});
  expectAssembly(parseOk("x"), {"x", "", "^ *x *$", {}, {}, {}});
  expectAssembly(parseOk("x", CheckKind(DirectiveType::Dag)), {"x", "", "^ *x *$", {}, {}, {}});
  expectAssembly(parseOk("x", CheckKind(DirectiveType::Label)), {"x", "", "^ *x *$", {}, {}, {}});
  // NOT patterns get no anchors, LITERAL ones are always fixed text.
  expectAssembly(parseOk("x", CheckKind(DirectiveType::Not)), {"x", "x", "", {}, {}, {}});
  CheckKind literal(DirectiveType::Plain);
  literal.setLiteral();
  expectAssembly(parseOk("[[X]] {{y}}", literal), {"[[X]] {{y}}", "[[X]] {{y}}", "", {}, {}, {}});

  options.strictWhitespace = true;
  // Strict and full-line: trailing blanks belong to the pattern.
  expectAssembly(parseOk("a [[X:b]]  "), {"a [[X:b]]  ", "", "^a (b)  $", {{"X", 1}}, {}, {}});
}

TEST_F(CheckPatternTest, EmptyPatterns) {
  expectAssembly(parseOk("", CheckKind(DirectiveType::Empty)), {"", "", "(\n$)", {}, {}, {}});
  expectAssembly(parseOk("  ", CheckKind(DirectiveType::Empty)), {"  ", "", "(\n$)", {}, {}, {}});
  EXPECT_EQ(firstError(""), "check.txt:1:1: error: found empty check string with prefix 'CHECK:'");
  EXPECT_EQ(firstError("x", CheckKind(DirectiveType::Empty)),
            "check.txt:1:1: error: found non-empty check string for empty check with prefix "
            "'CHECK:'");
}

TEST_F(CheckPatternTest, ReportsEachErrorAtItsPlace) {
  const struct {
    const char *text;
    const char *error;
  } cases[] = {
      {"ab{{c", "check.txt:1:3: error: found start of regex string with no end '}}'"},
      {"ab{{}}", "check.txt:1:5: error: invalid regex: empty (sub)expression"},
      {"a{{b(}}", "check.txt:1:4: error: invalid regex: parentheses not balanced"},
      {"a[[X:b(]]", "check.txt:1:6: error: invalid regex: parentheses not balanced"},
      {"a[[X", "check.txt:1:2: error: Invalid substitution block, no ]] found"},
      {"a[[", "check.txt:1:2: error: Invalid substitution block, no ]] found"},
      {"[[ X]]", "check.txt:1:3: error: unexpected whitespace"},
      {"[[X\t:y]]", "check.txt:1:4: error: unexpected whitespace"},
      {"[[@LINE + 1]]", "check.txt:1:8: error: unexpected whitespace"},
      {"[[@LINE:x]]", "check.txt:1:3: error: invalid name in string variable definition"},
      {"[[X-Y:x]]", "check.txt:1:3: error: invalid name in string variable definition"},
      {"[[X-Y]]", "check.txt:1:3: error: invalid name in string variable use"},
      {"[[1X]]", "check.txt:1:3: error: invalid variable name"},
      {"[[]]", "check.txt:1:3: error: empty variable name"},
      {"[[#N+]]", "check.txt:1:6: error: missing operand in expression"},
      {"[[@FOO]]", "check.txt:1:3: error: invalid pseudo numeric variable '@FOO'"},
      // The number expression of a definition has no place in the check text.
      {"[[#%.256u,P:]]", "check.txt:1:4: error: invalid regex: invalid repetition count(s)"},
      {"{{a}}{{b}}{{c}}{{d}}{{e}}{{f}}{{g}}{{h}}{{i}}[[X:y]] [[X]]",
       "check.txt:1:56: error: Can't back-reference more than 9 variables"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(firstError(c.text), c.error) << c.text;
}

TEST_F(CheckPatternTest, ErrorsQuoteTheLineWithACaret) {
  bool failed;
  std::string errors;
  parse("x [[ X]]", CheckKind(DirectiveType::Plain), failed, errors);
  EXPECT_TRUE(failed);
  EXPECT_EQ(errors, "check.txt:1:5: error: unexpected whitespace\nx [[ X]]\n    ^\n");
}

TEST_F(CheckPatternTest, NameClashesWithNumericVariables) {
  parseOk("[[#N:]]");
  EXPECT_EQ(firstError("[[N:x]]"),
            "check.txt:1:3: error: numeric variable with name 'N' already exists");
  // The definition made the name resolve to the new variable.
  ASSERT_NE(context.lookupNumeric("N"), nullptr);
  EXPECT_EQ(context.lookupNumeric("N")->definedOnLine, 1u);
  parseOk("[[S:x]]");
  EXPECT_TRUE(context.isStringName("S"));
}

// Only a stray "]" answers its own kind of error; every other rejection is
// a plain AlreadyReportedError.
TEST_F(CheckPatternTest, StrayClosingBracketIsAnErrorOfItsOwnKind) {
  struct Case {
    TextRef text;
    bool unbalanced;
    TextRef reported;
  } cases[] = {
      {"[[X:a]b]]", true,
       "check.txt:1:6: error: missing closing \"]\" for regex variable\n[[X:a]b]]\n     ^\n"},
      {"[[X:a\\]b]]", false, ""},
      {"[[X:[a]]] [[Y:]x]]", true, ""},
      {"[[X:a", false, "check.txt:1:1: error: Invalid substitution block, no ]] found\n"},
  };
  for (const Case &c : cases) {
    CheckPattern pattern(CheckKind(DirectiveType::Plain), context, 1);
    DiagnosticRecorder reports;
    ErrorValue rejected = pattern.parse(addText(c.text), "CHECK", registry, options, reports);
    EXPECT_EQ(rejected.isA<UnbalancedBracketError>(), c.unbalanced) << c.text;
    if (!c.reported.empty()) {
      EXPECT_EQ(reports.printed().substr(0, c.reported.size()), c.reported) << c.text;
    }
    dropError(std::move(rejected));
  }
}

// A back-reference written inside an expression means a group of that
// expression, wherever the expression ends up in the whole pattern.
TEST_F(CheckPatternTest, RenumbersBackReferencesOfAppendedExpressions) {
  const AssemblyCase cases[] = {
      {"{{(.)(.)\\2}}", "", "((.)(.)\\3)", {}, {}, {}},
      {"{{(a)\\1}}", "", "((a)\\2)", {}, {}, {}},
      {"{{x}}{{(a)\\1}}", "", "(x)((a)\\3)", {}, {}, {}},
      {"[[X:(a)\\1]]", "", "((a)\\2)", {{"X", 1}}, {}, {}},
      {"{{[\\1](b)\\1}}", "", "([\\1](b)\\2)", {}, {}, {}},
      {"{{[]\\1](b)\\1}}", "", "([]\\1](b)\\2)", {}, {}, {}},
      {"{{[[:alpha:]\\1](b)\\1}}", "", "([[:alpha:]\\1](b)\\2)", {}, {}, {}},
      {"{{\\\\1}}", "", "(\\\\1)", {}, {}, {}},
  };
  // Twice: the second time the expressions' group counts are remembered ones.
  for (const AssemblyCase &c : cases) {
    expectAssembly(parseOk(c.text), c);
    CheckPattern pattern = parseOk(c.text);
    expectAssembly(pattern, c);
    std::string error;
    EXPECT_TRUE(CompiledRegex(pattern.regexText(), CompiledRegex::newlineSensitive).checkValid(error))
        << c.text << ": " << error;
  }

  CompiledRegex xyy(parseOk("{{(.)(.)\\2}}").regexText(), CompiledRegex::newlineSensitive);
  EXPECT_TRUE(xyy.search("xyy"));
  EXPECT_FALSE(xyy.search("xyx"));

  EXPECT_EQ(firstError("{{a}}{{b}}{{c}}{{d}}{{e}}{{f}}{{g}}{{h}}{{(x)\\1}}"),
            "check.txt:1:46: error: back-reference '\\1' in regex names group 10 of the whole "
            "pattern; can't back-reference groups above 9");
}

} // namespace ostrel
