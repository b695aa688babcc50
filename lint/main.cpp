#include "lint/LintRun.h"
#include "support/process/ProcessSupport.h"

using namespace ostrel;

int main(int argc, char **argv) { return runProgram(argc, argv, runLint); }
