#include "run/DirectCommand.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace ostrel {

namespace {

using Stages = std::vector<std::vector<std::string>>;

TEST(DirectCommandTest, SplitsOnlyWhatBashWouldJustSplit) {
  struct Case {
    const char *command;
    std::optional<Stages> stages;
  } cases[] = {
      {"printf 'a b\\n' | ostrel /x/t.test", Stages{{"printf", "a b\\n"}, {"ostrel", "/x/t.test"}}},
      {"ostrel  \t'it'\\''s' \"two  words\"x", Stages{{"ostrel", "it's", "two  wordsx"}}},
      {"ostrel --check-prefix=A,B -D@x=1:2+%",
       Stages{{"ostrel", "--check-prefix=A,B", "-D@x=1:2+%"}}},
      {"a|b", Stages{{"a"}, {"b"}}},
      {"echo '' | ostrel x", Stages{{"echo", ""}, {"ostrel", "x"}}},
      {"", std::nullopt},
      {"a || b", std::nullopt},
      {"a |& b", std::nullopt},
      {"| b", std::nullopt},
      {"a |", std::nullopt},
      {"a; b", std::nullopt},
      {"a && b", std::nullopt},
      {"a > out", std::nullopt},
      {"a < in", std::nullopt},
      {"a 2>&1", std::nullopt},
      {"a $HOME", std::nullopt},
      {"a \"$HOME\"", std::nullopt},
      {"a \"`date`\"", std::nullopt},
      {"a \"x\\\"y\"", std::nullopt},
      {"a *.test", std::nullopt},
      {"a ?", std::nullopt},
      {"a [ab]", std::nullopt},
      {"a {b,c}", std::nullopt},
      {"a ~/x", std::nullopt},
      {"a # comment", std::nullopt},
      {"(a)", std::nullopt},
      {"! a", std::nullopt},
      {"a &", std::nullopt},
      {"a 'open", std::nullopt},
      {"a \"open", std::nullopt},
      {"a \\", std::nullopt},
      {"a\nb", std::nullopt},
  };
  for (const Case &c : cases)
    EXPECT_EQ(splitPlainPipeline(c.command), c.stages) << c.command;
}

/// What bash prints for `command`, as the reference for the builtins.
std::string bashOutput(const std::string &command) {
  ::setenv("DIRECT_COMMAND_LINE", command.c_str(), 1);
  FILE *pipe = ::popen("bash -e -o pipefail -c \"$DIRECT_COMMAND_LINE\"", "r");
  std::string output;
  char buffer[4096];
  size_t got;
  while (pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.append(buffer, got);
  if (pipe)
    ::pclose(pipe);
  return output;
}

TEST(DirectCommandTest, BuiltinOutputIsWhatBashPrints) {
  const char *commands[] = {
      "printf 'alpha 1\\nbeta\\ngamma\\n'",
      "printf ''",
      "printf \"double quoted\"",
      "printf '\\a\\b\\e\\E\\f\\r\\t\\v\\\\\\\"\\?'\\\\\\'",
      "printf '\\0|\\01|\\101|\\1014|\\377|\\400|\\777|\\0101'",
      "printf '100%% sure'",
      "printf 'it'\\''s\\n'",
      "echo",
      "echo hello   world",
      "echo 'a  b' \"c\" d\\ e x -n",
      "echo '\\n stays'",
  };
  for (const char *command : commands) {
    std::optional<Stages> stages = splitPlainPipeline(command);
    ASSERT_TRUE(stages && stages->size() == 1) << command;
    std::optional<std::string> output = builtinOutput(stages->front());
    ASSERT_TRUE(output) << command;
    EXPECT_EQ(*output, bashOutput(command)) << command;
  }
}

TEST(DirectCommandTest, BuiltinsWhoseOutputIsNotKnownHereAreLeftToBash) {
  const std::vector<std::string> refused[] = {
      {"printf", "%s", "x"}, {"printf", "%d"},   {"printf", "a%"},    {"printf", "\\x41"},
      {"printf", "\\c"},     {"printf", "\\q"},  {"printf", "\\8"},    {"printf", "x\\"},
      {"printf", "-v", "x"}, {"printf", "--"},   {"printf"},          {"echo", "-n", "x"},
      {"echo", "-e"},        {"cat", "x"},       {"true"},            {},
      {"printf", std::string(PIPE_BUF + 1, 'x')},
  };
  for (const std::vector<std::string> &words : refused)
    EXPECT_EQ(builtinOutput(words), std::nullopt) << (words.empty() ? "" : words.back());
  EXPECT_EQ(builtinOutput({"printf", std::string(PIPE_BUF, 'x')})->size(), size_t(PIPE_BUF));
}

TEST(DirectCommandTest, OnlyTheCheckerFedByAKnownBuiltinRunsDirectly) {
  std::optional<DirectCommand> fed = directCommand("printf 'a\\n' | ostrel 'my file' -v", "ostrel");
  ASSERT_TRUE(fed);
  EXPECT_EQ(fed->arguments, (std::vector<std::string>{"ostrel", "my file", "-v"}));
  EXPECT_EQ(fed->input, "a\n");
  std::optional<DirectCommand> alone = directCommand("ostrel x.test", "ostrel");
  ASSERT_TRUE(alone);
  EXPECT_EQ(alone->input, std::nullopt);

  const char *throughBash[] = {
      "false | ostrel x",          "printf x | cat | ostrel x", "cat x | ostrel x",
      "printf x | ostrel x; true", "printf x | ostrel x > out", "ostrel x | cat",
      "printf '%s' x | ostrel x",  "echo x | grep x",           "echo x | ./ostrel x",
      "nosuch x | ostrel x",       "ostrel $X",                 "printf x | ostrel *.test",
  };
  for (const char *command : throughBash)
    EXPECT_EQ(directCommand(command, "ostrel"), std::nullopt) << command;
}

TEST(DirectCommandTest, AnEnvironmentThatChangesBashKeepsItsLines) {
  struct Case {
    std::vector<std::string> entries;
    bool plain;
  } cases[] = {
      {{"PATH=/bin", "HOME=/root", "MY_BASH_ENV=x", "XSHELLOPTS=y"}, true},
      {{"PATH=/bin", "BASH_ENV=/etc/rc"}, false},
      {{"ENV=/etc/rc"}, false},
      {{"SHELLOPTS=xtrace"}, false},
      {{"BASHOPTS=xpg_echo"}, false},
      {{"BASH_FUNC_printf%%=() { :; }"}, false},
      {{"POSIXLY_CORRECT=1"}, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(environmentKeepsBashPlain(c.entries), c.plain) << c.entries.back();
}

} // namespace

} // namespace ostrel
