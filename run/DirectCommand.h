#ifndef OSTREL_RUN_DIRECTCOMMAND_H
#define OSTREL_RUN_DIRECTCOMMAND_H

/// RUN lines that need no shell. Starting bash and letting it start the
/// checker costs more than the check itself, so a line whose whole effect is
/// known runs the checker directly: `ostrel ARGS`, alone or fed by a `printf`
/// with only a format or an `echo` without options. Those two are bash
/// builtins; their output is computed here, byte for byte what the builtin
/// writes, and becomes the checker's standard input. Only the checker is
/// started this way: it reads nothing of what bash adds to or reorders in the
/// environment of the commands it starts, which other programs may.
/// Everything else (other programs, redirections, expansions, globs, `;`,
/// `&&`, ...) still goes through bash.

#include "support/fs/TextRef.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// The words of each stage of `command` when it holds only plain words,
/// single-quoted words, double-quoted words without `$`, backquote or `\`,
/// backslash-escaped characters, and single `|` between stages; nothing
/// when anything else would make bash do more than split words.
std::optional<std::vector<std::vector<std::string>>> splitPlainPipeline(TextRef command);

/// What the builtin `printf` (format only) or `echo` (no options) writes
/// with these words (the builtin's name first); nothing for any other words
/// or for output that might not fit in an empty pipe.
std::optional<std::string> builtinOutput(const std::vector<std::string> &words);

/// A RUN line run without bash: the checker with `arguments` (argv[0] is
/// the word that named it), reading `input` when the line feeds it.
struct DirectCommand {
  std::vector<std::string> arguments;
  std::optional<std::string> input;
};

/// The direct form of `command`, where `checkerName` is the word that calls
/// the checker; nothing when the line must go through bash.
std::optional<DirectCommand> directCommand(TextRef command, const std::string &checkerName);

/// Whether bash started with this environment (NAME=VALUE entries) reads no
/// start-up file and imports no option or function, so that a line's
/// meaning is what its words say.
bool environmentKeepsBashPlain(const std::vector<std::string> &entries);

} // namespace ostrel

#endif
