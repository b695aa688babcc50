#ifndef OSTREL_SUPPORT_CMDLINE_COMMANDLINEPARSER_H
#define OSTREL_SUPPORT_CMDLINE_COMMANDLINEPARSER_H

/// Parsing of the process arguments into the registered options: the words
/// of an environment variable go first, response files ("@file") are
/// expanded, and every argument is matched to an option by name, prefix or
/// group. All problems are reported before the process ends with status 1.

#include <string>
#include <vector>

#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

namespace ostrel {

class CommandScope;

/// Parses argv (with the words of the variable envVarName, when given and
/// set, before argv[1]) against the top-level scope. Returns true on
/// success; on any error it prints every message and ends the process with
/// status `failureStatus`. Help and version options print and end it with
/// status 0.
bool parseCommandLine(int argc, const char *const *argv, TextRef overview = {},
                      const char *envVarName = nullptr, int failureStatus = 1);

/// Splits text into arguments at unquoted whitespace, honouring single and
/// double quotes and backslash escapes.
std::vector<std::string> tokenizeCommandText(TextRef text);

/// True when the command word `word` starts `program`: the name alone or a
/// path ending in "/" and the name.
bool wordNamesProgram(TextRef word, TextRef program);

/// Bounds on what response files may produce: far more than any real command
/// line needs, and an end to files that name each other again and again.
struct ArgumentFileLimits {
  /// Arguments produced by all expansions together.
  size_t maxArguments = 1000000;
  /// Response files being expanded inside one another.
  size_t maxNesting = 1000;
};

/// Replaces every "@file" argument by the arguments tokenised from the file,
/// recursively. A file that cannot be read, or that is already being
/// expanded, stays as it is. Answers false when some argument was left in
/// place, and an error naming the response file at which a bound of `limits`
/// was hit (the list is then incomplete).
ValueOrError<bool> expandArgumentFiles(std::vector<std::string> &args,
                                       const ArgumentFileLimits &limits = {});

/// The suggestion for an unknown option name ("name" or "name=value") among
/// the options of scope, without dashes; empty when there is none.
std::string nearestOptionName(const CommandScope &scope, TextRef name);

/// Runs the library-wide option creators (once per process) and enters the
/// pending overridable options, so that the scopes hold every option the
/// program has. The first parse calls it; tools that list a program's
/// options without parsing call it themselves.
void createLibraryOptions();

/// The expanded argument list of the last parse (entry 0 is the program
/// path); option positions index into it.
const std::vector<std::string> &parsedArguments();

} // namespace ostrel

#endif
