#include "run/UpdateCommand.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

std::string joined(const std::vector<std::string> &words) {
  std::string text;
  for (const std::string &word : words)
    text += (text.empty() ? "" : " ") + word;
  return text;
}

TEST(UpdateCommandTest, ReadsTheProducerTheCheckFileAndTheCheckerOptions) {
  struct Case {
    const char *line;
    const char *producer;
    const char *inputFile;
    const char *checkFile;
    const char *options;
  } cases[] = {
      {"gen a.c | ostrel a.c", "{ gen a.c ; } > \"$OSTREL_RUN_CAPTURE\"", "", "a.c", ""},
      {"gen | filter 'x|y' | /usr/bin/ostrel --check-prefix P -DX=1 t.ll",
       "{ gen | filter 'x|y' ; } > \"$OSTREL_RUN_CAPTURE\"", "", "t.ll", "--check-prefix=P -DX=1"},
      {"mkdir -p %t && gen > %t/o && ostrel --input-file=%t/o --strict-whitespace t",
       "mkdir -p %t && gen > %t/o && true", "%t/o", "t", "--strict-whitespace"},
      {"ostrel --input-file in.txt t", "", "in.txt", "t", ""},
      {"setup; gen 2>&1 |& ostrel --check-prefixes=A --dump-input=always -v t",
       "setup; { gen 2>&1 ; } > \"$OSTREL_RUN_CAPTURE\" 2>&1", "", "t", "--check-prefix=A"},
      {"(cd x && gen) | ostrel --implicit-check-not=warning --match-full-lines t",
       "{ (cd x && gen) ; } > \"$OSTREL_RUN_CAPTURE\"", "", "t",
       "--implicit-check-not=warning --match-full-lines"},
      {"if true; then echo a; else echo b; fi | ostrel t",
       "{ if true; then echo a; else echo b; fi ; } > \"$OSTREL_RUN_CAPTURE\"", "", "t", ""},
      {"echo 'a; b' \"| c\" | ostrel 't w'", "{ echo 'a; b' \"| c\" ; } > \"$OSTREL_RUN_CAPTURE\"",
       "", "t w", ""},
  };
  for (const Case &c : cases) {
    UpdateCommand command = readUpdateCommand(c.line);
    EXPECT_EQ(command.refusal, "") << c.line;
    EXPECT_EQ(command.producerScript, c.producer) << c.line;
    EXPECT_EQ(command.inputFile, c.inputFile) << c.line;
    EXPECT_EQ(command.checkFile, c.checkFile) << c.line;
    EXPECT_EQ(joined(command.checkerOptions), c.options) << c.line;
  }
}

TEST(UpdateCommandTest, RefusesWhatItCannotRefresh) {
  struct Case {
    const char *line;
    const char *refusal;
  } cases[] = {
      {"gen | ostrel t && false", "the failing RUN line does not end in a command named ostrel"},
      {"gen | ostrel-lint t", "the failing RUN line does not end in a command named ostrel"},
      {"false", "the failing RUN line does not end in a command named ostrel"},
      {"gen | ostrel", "ostrel is given no check file"},
      {"gen | ostrel a b", "ostrel is given more than one check file"},
      {"ostrel t", "ostrel reads neither a pipe nor an --input-file"},
      {"ostrel --input-file - t", "ostrel reads neither a pipe nor an --input-file"},
      {"gen | ostrel --input-file=x t", "ostrel is given both a pipe and --input-file"},
      {"gen | ostrel --check-prefixes=A,B t", "ostrel checks several prefixes; a refresh writes one"},
      {"gen | ostrel --frobnicate t",
       "ostrel is given the option '--frobnicate', which the refresh does not know"},
      {"gen | ostrel t --check-prefix", "the option '--check-prefix' of ostrel has no value"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(readUpdateCommand(c.line).refusal, c.refusal) << c.line;
}

} // namespace

} // namespace ostrel
