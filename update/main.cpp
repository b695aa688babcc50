#include "support/diag/FileOutputStream.h"
#include "support/process/ProcessSupport.h"
#include "update/UpdateRun.h"

#include <fcntl.h>
#include <unistd.h>

using namespace ostrel;

int main(int argc, char **argv) {
  // Without a standard error, the files this program opens must not take its
  // descriptor: the report would be written into them.
  if (fcntl(STDERR_FILENO, F_GETFD) < 0)
    open("/dev/null", O_WRONLY);
  return runProgram(argc, argv, [](int count, char **arguments) {
    int status = runUpdate(count, arguments);
    // The status says what happened to the test file: a report stream that
    // cannot be written does not change it.
    (void)static_cast<FileOutputStream &>(standardError()).takeError();
    return status;
  });
}
