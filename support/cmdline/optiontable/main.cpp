// Writes the option table of the program it is linked with: the bash
// completion script and the list of option names. The build links it with
// the program's option definitions, whose static initialisation registers
// them, so the output always matches what the program accepts.
//
// Usage: <generator> <program-name> <completion-file> <names-file>

#include <system_error>

#include "support/cmdline/CommandLineParser.h"
#include "support/cmdline/CompletionScript.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/diag/FileOutputStream.h"

namespace ostrel {

namespace {

bool openOrReport(const std::error_code &error,
                  const char *path) {
  if (!error)
    return true;
  standardError() << "cannot write '" << path << "': " << error.message() << '\n';
  return false;
}

} // namespace

} // namespace ostrel

using namespace ostrel;

int main(int argc, char **argv) {
  if (argc != 4) {
    standardError() << "usage: " << argv[0]
           << " <program-name> <completion-file> <names-file>\n";
    return 2;
  }
  createLibraryOptions();
  const CommandScope &scope = topLevelScope();
  std::error_code error;
  FileOutputStream completion(argv[2], error);
  if (!openOrReport(error, argv[2]))
    return 1;
  writeBashCompletion(completion, argv[1], scope);
  FileOutputStream names(argv[3], error);
  if (!openOrReport(error, argv[3]))
    return 1;
  for (const std::string &name : optionNames(scope))
    names << name << '\n';
  return 0;
}
