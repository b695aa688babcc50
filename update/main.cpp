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
  int status;
  {
    ProcessSupport processSupport(argc, argv);
    status = runUpdate(argc, argv);
    // The status says what happened to the test file: a report stream that
    // cannot be written does not change it.
    (void)static_cast<FileOutputStream &>(standardError()).takeError();
    // Flush while the broken-pipe handling is still in place; a write error
    // stays recorded and is reported when the stream is destroyed at exit.
    standardOutput().flush();
  }
  return status;
}
