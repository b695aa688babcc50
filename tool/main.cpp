#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "tool/InputDump.h"
#include "tool/ProcessSupport.h"
#include "tool/DumpSettings.h"
#include "tool/ToolOptions.h"

// Interim entry: options, the dump explanation and the usage checks only,
// until the check engine links into the program.
static int runOptionsOnly(int argc, char **argv) {
  parseCommandLine(argc, argv, TextRef(), "OSTREL_OPTS");
  DumpSettings dump = deriveDumpSettings(toolOptions::dumpInput(), toolOptions::dumpInputFilter(),
                                         toolOptions::dumpInputContext());
  if (dump.mode == DumpMode::Help) {
    printDumpHelp();
    return 0;
  }
  if (toolOptions::checkFile().empty()) {
    standardError() << "<check-file> not specified\n";
    return 2;
  }
  return 2;
}

int main(int argc, char **argv) {
  int status;
  {
    ProcessSupport processSupport(argc, argv);
    status = runOptionsOnly(argc, argv);
    standardOutput().flush();
  }
  return status;
}
