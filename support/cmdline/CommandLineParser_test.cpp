#include "support/cmdline/CommandLineParser.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

using Strings = std::vector<std::string>;

TEST(TokenizeCommandText, QuotesEscapesAndWhitespace) {
  struct Case {
    const char *text;
    Strings words;
  } cases[] = {
      {"", {}},
      {"  x   y\t\tz  ", {"x", "y", "z"}},
      {"a\nb\r\nc", {"a", "b", "c"}},
      {"a\"b c\"d", {"ab cd"}},
      {"'a b' c", {"a b", "c"}},
      {"\"a\\\"b\"", {"a\"b"}},
      {"'it\\'s'", {"it's"}},
      {"a\\ b", {"a b"}},
      {"\\\"x", {"\"x"}},
      {"x\\", {"x\\"}},
      {"\"\"", {}},
      {"'' x \"\"", {"x"}},
      {"\"unterminated run", {"unterminated run"}},
      {"'a\\", {"a\\"}},
      {"-check-prefix='A B' -v", {"-check-prefix=A B", "-v"}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(tokenizeCommandText(c.text), c.words) << c.text;
}

// A scratch directory for response files; the working directory moves into
// it so that relative names resolve there.
class ResponseFiles : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/ostrel-rsp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    oldCwd = buffer;
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(oldCwd.c_str()), 0);
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void write(const std::string &name, const std::string &bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
  std::string dir, oldCwd;
};

TEST_F(ResponseFiles, NestedFilesExpandInPlace) {
  write("a.rsp", "-x @b.rsp\n-y");
  write("b.rsp", "'b 1' b2");
  write("empty.rsp", "");
  Strings args = {"prog", "first", "@a.rsp", "@empty.rsp", "last"};
  EXPECT_TRUE(*expandArgumentFiles(args));
  EXPECT_EQ(args, (Strings{"prog", "first", "-x", "b 1", "b2", "-y", "last"}));
}

TEST_F(ResponseFiles, SelfReferenceStaysAsArgument) {
  write("self.rsp", "s1 @self.rsp");
  write("one.rsp", "o1 @two.rsp");
  write("two.rsp", "t1 @one.rsp t2");
  Strings args = {"prog", "@self.rsp", "@one.rsp"};
  EXPECT_FALSE(*expandArgumentFiles(args));
  EXPECT_EQ(args, (Strings{"prog", "s1", "@self.rsp", "o1", "t1", "@one.rsp",
                           "t2"}));
  // The same file may be used again once its expansion has ended.
  Strings twice = {"prog", "@two.rsp", "@two.rsp"};
  EXPECT_FALSE(*expandArgumentFiles(twice));
  EXPECT_EQ(twice, (Strings{"prog", "t1", "o1", "@two.rsp", "t2", "t1", "o1",
                            "@two.rsp", "t2"}));
}

TEST_F(ResponseFiles, DeepChainExpandsFully) {
  const int depth = 200;
  for (int k = 0; k < depth; ++k)
    write("d" + std::to_string(k), "w" + std::to_string(k) + " @d" +
                                       std::to_string(k + 1));
  write("d" + std::to_string(depth), "end");
  Strings args = {"prog", "@d0"};
  EXPECT_TRUE(*expandArgumentFiles(args));
  ASSERT_EQ(args.size(), size_t(depth + 2));
  EXPECT_EQ(args[1], "w0");
  EXPECT_EQ(args.back(), "end");
}

TEST_F(ResponseFiles, BoundsStopFilesThatFanOutOrNestTooDeep) {
  // f0 names f1 twice, f1 names f2 twice, ... f4 holds one word: expanding
  // @f0 produces 2 + 4 + 8 + 16 + 16 arguments (46), of which 16 are left.
  for (int k = 0; k < 4; ++k)
    write("f" + std::to_string(k), "@f" + std::to_string(k + 1) + " @f" + std::to_string(k + 1));
  write("f4", "w");
  // c0 names c1, ... c5 holds one word: six files nested inside each other.
  for (int k = 0; k < 5; ++k)
    write("c" + std::to_string(k), "@c" + std::to_string(k + 1));
  write("c5", "end");
  struct Case {
    const char *file;
    ArgumentFileLimits limits;
    const char *error; // empty when the expansion completes
  };
  const Case cases[] = {
      {"f0", {46, 1000}, ""},
      {"f0", {45, 1000},
       "response file 'f4' not expanded: response files would give more than 45 arguments"},
      {"f0", {10, 1000},
       "response file 'f3' not expanded: response files would give more than 10 arguments"},
      {"c0", {1000, 6}, ""},
      {"c0", {1000, 5},
       "response file 'c5' not expanded: response files would be nested more than 5 deep"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " " << c.limits.maxArguments << " "
                                    << c.limits.maxNesting);
    Strings args = {"prog", "@" + std::string(c.file), "after"};
    ValueOrError<bool> result = expandArgumentFiles(args, c.limits);
    if (*c.error == '\0') {
      ASSERT_TRUE(result);
      EXPECT_TRUE(*result);
      EXPECT_EQ(args.back(), "after");
    } else {
      ASSERT_FALSE(result);
      EXPECT_EQ(errorMessage(result.takeError()), c.error);
    }
  }
}

TEST_F(ResponseFiles, ByteOrderMarks) {
  write("le.rsp", std::string("\xFF\xFE-\0v\0 \0\xE9\0", 10));
  write("be.rsp", std::string("\xFE\xFF\0-\0w\xD8\x3D\xDE\x00", 10));
  write("u8.rsp", "\xEF\xBB\xBF-z");
  write("odd.rsp", std::string("\xFF\xFE-\0v", 5));
  write("lone.rsp", std::string("\xFF\xFE\x00\xD8", 4));
  Strings args = {"prog", "@le.rsp", "@be.rsp", "@u8.rsp", "@odd.rsp",
                  "@lone.rsp"};
  EXPECT_FALSE(*expandArgumentFiles(args));
  EXPECT_EQ(args, (Strings{"prog", "-v", "\xC3\xA9", "-w\xF0\x9F\x98\x80",
                           "-z", "@odd.rsp", "@lone.rsp"}));
}

TEST_F(ResponseFiles, UnreadableAndOddNamesStayWithoutMessages) {
  mkdir((dir + "/sub").c_str(), 0700);
  write("sub/in.rsp", "inner");
  write("bin.rsp", std::string("a\0b c", 5));
  Strings args = {"prog", "@missing", "@", "@sub", "@sub/in.rsp",
                  "@" + dir + "/bin.rsp"};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(*expandArgumentFiles(args));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(args, (Strings{"prog", "@missing", "@", "@sub", "inner", "a", "c"}));
}

// Options of the test program, parsed against the top-level scope.
SingleValueOption<bool> aOpt(OptName{"a"}, OptHelp{"a"});
SingleValueOption<bool> bOpt(OptName{"b"}, OptHelp{"b"});
SingleValueOption<bool> cOpt(OptName{"c"}, OptHelp{"c"});
SingleValueOption<std::string> sOpt(OptName{"s"}, OptHelp{"s"});
ListOption<std::string> defOpt(OptName{"P"}, OptHelp{"define"}, PrefixOnlyForm);
ListOption<std::string> prefOpt(OptName{"pfx"}, OptHelp{"prefix"});
AliasOption prefsOpt(OptName{"pfxs"}, OptHelp{"prefixes"},
                     OptAliasOf{prefOpt}, SplitOnCommas);
ListOption<uint32_t> numOpt(OptName{"num"}, OptHelp{"number"});
SingleValueOption<bool> quietOpt(OptName{"quiet-mode"}, OptHelp{"q"},
                                 ValueDisallowed);
ListOption<std::string> restOpt(OptHelp{"<inputs>"}, PositionalForm);

void parseArgs(std::initializer_list<const char *> words) {
  std::vector<CommandOption *> all;
  topLevelScope().options.forEach(
      [&](TextRef, CommandOption *option) { all.push_back(option); });
  for (CommandOption *option : topLevelScope().positionals)
    all.push_back(option);
  for (CommandOption *option : all) {
    option->resetToDefault();
    option->occurrences = 0;
  }
  std::vector<const char *> argv(words);
  parseCommandLine(int(argv.size()), argv.data(), "", "OSTREL_TEST_OPTS");
}

std::string literal(const std::string &text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"),
                            R"(\$&)");
}

TEST(ParseCommandLine, NamesValuesAndPositionals) {
  parseArgs({"/bin/prog", "-pfx=A", "--pfx", "B", "-pfxs=C,,D", "-", "x",
             "--", "-a", "--pfx=E"});
  EXPECT_EQ(prefOpt.values(), (Strings{"A", "B", "C", "", "D"}));
  EXPECT_EQ(prefOpt.positions(), (std::vector<uint32_t>{1, 3, 4, 4, 4}));
  EXPECT_EQ(prefOpt.occurrences, 5u);
  EXPECT_EQ(prefsOpt.occurrences, 0u);
  EXPECT_EQ(restOpt.values(), (Strings{"-", "x", "-a", "--pfx=E"}));
  EXPECT_FALSE(aOpt.get());
  EXPECT_EQ(OptionRegistry::get().programName, "prog");
}

TEST(ParseCommandLine, BooleanAndSingleValueRules) {
  // A bare boolean never takes the next argument; -name= is a present,
  // empty value, which means true.
  parseArgs({"prog", "-b", "false", "-c=", "-s", "v1", "-s=v2"});
  EXPECT_TRUE(bOpt.get());
  EXPECT_TRUE(cOpt.get());
  EXPECT_EQ(restOpt.values(), (Strings{"false"}));
  EXPECT_EQ(sOpt.get(), "v2");
  EXPECT_EQ(sOpt.occurrences, 2u);
  EXPECT_EQ(sOpt.position, 6u);
  parseArgs({"prog", "-s", "v1"});
  EXPECT_EQ(sOpt.position, 2u) << "a value from the next argument is "
                                  "recorded at that argument";
}

TEST(ParseCommandLine, PrefixAndGroupRules) {
  parseArgs({"prog", "-PX=1", "-P=y", "-abc", "-aPZ", "-as=w", "-bs", "V"});
  EXPECT_EQ(defOpt.values(), (Strings{"X=1", "=y", "Z"}));
  EXPECT_TRUE(aOpt.get() && bOpt.get() && cOpt.get());
  EXPECT_EQ(aOpt.occurrences, 3u);
  EXPECT_EQ(sOpt.get(), "V");
  EXPECT_EQ(sOpt.occurrences, 2u);
  EXPECT_TRUE(restOpt.values().empty());
}

TEST(ParseCommandLine, LongPrefixValueIsTakenWhole) {
  // The speed of this search on long arguments is guarded in the benchmarks.
  std::string big = "-PX=" + std::string(1 << 16, 'v');
  parseArgs({"prog", big.c_str()});
  EXPECT_EQ(defOpt.values(), (Strings{big.substr(2)}));
}

TEST(ParseCommandLine, EnvironmentWordsComeFirst) {
  setenv("OSTREL_TEST_OPTS", "-pfx=env1 'in put' -s=env", 1);
  parseArgs({"prog", "-pfx=cmd", "-s=cmd"});
  unsetenv("OSTREL_TEST_OPTS");
  EXPECT_EQ(prefOpt.values(), (Strings{"env1", "cmd"}));
  EXPECT_EQ(restOpt.values(), (Strings{"in put"}));
  EXPECT_EQ(sOpt.get(), "cmd");
}

void expectParseFailure(std::initializer_list<const char *> words,
                        const std::string &message) {
  EXPECT_EXIT(parseArgs(words), testing::ExitedWithCode(1),
              "^" + literal(message) + "$");
}

TEST(ParseCommandLineDeathTest, EveryProblemIsReportedBeforeExit) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  expectParseFailure({"prog", "-P", "x"},
                     "prog: for the -P option: requires a value!\n");
  expectParseFailure({"prog", "-as"},
                     "prog: for the -s option: requires a value!\n");
  expectParseFailure({"prog", "-pfx"},
                     "prog: for the --pfx option: requires a value!\n");
  expectParseFailure({"prog", "-quiet-mode="},
                     "prog: for the --quiet-mode option: does not allow a "
                     "value! '' specified.\n");
  expectParseFailure({"prog", "-num=1", "-num=x", "-num=0x"},
                     "prog: for the --num option: 'x' value invalid for uint "
                     "argument!\nprog: for the --num option: '0x' value "
                     "invalid for uint argument!\n");
  expectParseFailure({"./d/prog", "-abz"},
                     "prog: Unknown command line argument '-abz'.  Try: "
                     "'./d/prog --help'\nprog: Did you mean '-P'?\n");
  expectParseFailure({"prog", "-asX"},
                     "prog: for the -s option: may not occur within a group!\n"
                     "prog: Unknown command line argument '-asX'.  Try: 'prog "
                     "--help'\nprog: Did you mean '-s'?\n");
  expectParseFailure({"prog", "--pffx=X", "-quiet-mod=3"},
                     "prog: Unknown command line argument '--pffx=X'.  Try: "
                     "'prog --help'\nprog: Did you mean '--pfx=X'?\n"
                     "prog: Unknown command line argument '-quiet-mod=3'.  "
                     "Try: 'prog --help'\nprog: Did you mean "
                     "'--quiet-mode'?\n");
  expectParseFailure({"prog", "-b=maybe", "--", "-c=2"},
                     "prog: for the -b option: 'maybe' is invalid value for "
                     "boolean argument! Try 0 or 1\n");
}

void parseWithRequiredOptions() {
  ListOption<std::string> needed(OptHelp{"<needed>"}, PositionalForm,
                                 OccurRequired);
  SingleValueOption<bool> needMe(OptName{"need-me"}, OptHelp{"n"},
                                 OccurRequired);
  SingleValueOption<bool> needMeToo(OptName{"need-me-too"}, OptHelp{"n"},
                                    OccurAtLeastOnce);
  parseArgs({"prog", "-need-me"});
}

void parseWithUnreachablePositional() {
  SingleValueOption<std::string> late(OptHelp{"<late>"}, PositionalForm);
  parseArgs({"prog"});
}

TEST(ParseCommandLineDeathTest, ChecksAfterTheScan) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(parseWithRequiredOptions(), testing::ExitedWithCode(1),
              "^" + literal("prog: Not enough positional command line "
                            "arguments specified!\nMust specify at least 1 "
                            "positional argument: See: prog --help\n"
                            "prog: for the --need-me-too option: must be "
                            "specified at least once!\n") +
                  "$");
  EXPECT_EXIT(parseWithUnreachablePositional(), testing::ExitedWithCode(1),
              "^" + literal("<late> option: error - option can never match, "
                            "because another positional argument will match "
                            "an unbounded number of values, and this option "
                            "does not require a value!\nprog: CommandLine "
                            "Error: Option '' is all messed up!\n2") +
                  "$");
}

TEST(NearestOptionName, UsesLeftPartOnlyWhenAValueIsPermitted) {
  EXPECT_EQ(nearestOptionName(topLevelScope(), "pfz=V"), "pfx=V");
  EXPECT_EQ(nearestOptionName(topLevelScope(), "quiet-mde"), "quiet-mode");
  EXPECT_EQ(nearestOptionName(topLevelScope(), "quiet-mode=1"), "quiet-mode");
  EXPECT_EQ(nearestOptionName(topLevelScope(), ""), "");
}

TEST(WordNamesProgram, NameAloneOrAtTheEndOfAPath) {
  struct Case {
    TextRef word;
    bool names;
  } cases[] = {
      {"ostrel", true},      {"./build/ostrel", true}, {"/usr/bin/ostrel", true},
      {"ostrel-lint", false}, {"myostrel", false},      {"ostrel/", false},
      {"", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(wordNamesProgram(c.word, "ostrel"), c.names) << c.word;
}

} // namespace

} // namespace ostrel
