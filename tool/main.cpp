#include "support/process/ProcessSupport.h"
#include "tool/RunSequence.h"

using namespace ostrel;

int main(int argc, char **argv) { return runProgram(argc, argv, runOstrel); }
