/* Prints its arguments after the mode, one a line, then ends as the mode
   says: print (status 0), exit3 (status 3), crash (abort). copy-to-stderr
   copies standard input to standard error; cwd prints the folder it runs
   in. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv) {
  const char *mode = argc > 1 ? argv[1] : "print";
  for (int i = 2; i < argc; ++i)
    printf("%s\n", argv[i]);
  fflush(stdout);
  if (strcmp(mode, "copy-to-stderr") == 0) {
    int c;
    while ((c = getchar()) != EOF)
      fputc(c, stderr);
  } else if (strcmp(mode, "cwd") == 0) {
    char folder[4096];
    if (getcwd(folder, sizeof folder))
      printf("%s\n", folder);
  } else if (strcmp(mode, "exit3") == 0) {
    return 3;
  } else if (strcmp(mode, "crash") == 0) {
    abort();
  }
  return 0;
}
