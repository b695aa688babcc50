#include "lint/LintRun.h"
#include "support/diag/OutputStream.h"

int main(int argc, char **argv) {
  int status = runLint(argc, argv);
  standardOutput().flush();
  return status;
}
