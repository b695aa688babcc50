#ifndef OSTREL_RUN_TESTSCRIPT_H
#define OSTREL_RUN_TESTSCRIPT_H

/// What a test file asks of the runner: its RUN commands (a line ending in
/// a backslash continues on the next RUN line) and its REQUIRES,
/// UNSUPPORTED and XFAIL markers. Each is found as the checker finds its
/// comment directives: the word and a colon, after any comment leader, not
/// glued to a word before it.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

struct TestScript {
  /// One command per RUN line, continuations joined, blanks trimmed.
  std::vector<std::string> commands;
  /// Every feature named by REQUIRES: all must be on.
  std::vector<std::string> requires_;
  /// Every feature named by UNSUPPORTED: any one being on skips the test.
  std::vector<std::string> unsupported;
  /// Every feature named by XFAIL ("*" for any): any one being on makes a
  /// failure expected.
  std::vector<std::string> xfail;
  /// The last RUN line ended in a backslash, with no RUN line after it.
  bool danglingContinuation = false;
};

/// Reads the script of a test file's text.
TestScript readTestScript(TextRef text);

/// True when `text` holds a RUN line; faster than reading the whole script.
bool holdsRunLine(TextRef text);

} // namespace ostrel

#endif
