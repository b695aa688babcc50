#include "support/diag/OutputStream.h"
#include "update/UpdateRun.h"

int main(int argc, char **argv) {
  int status = runUpdate(argc, argv);
  standardOutput().flush();
  return status;
}
