#include "lint/LintRun.h"
#include "support/diag/OutputStream.h"
#include "support/process/ProcessSupport.h"

using namespace ostrel;

int main(int argc, char **argv) {
  int status;
  {
    ProcessSupport processSupport(argc, argv);
    status = runLint(argc, argv);
    // Flush while the broken-pipe handling is still in place; a write error
    // stays recorded and is reported when the stream is destroyed at exit.
    standardOutput().flush();
  }
  return status;
}
