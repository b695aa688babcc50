#include "support/regex/RegexProgram.h"

#include <bit>

unsigned CharSet::count() const {
  unsigned total = 0;
  for (uint64_t part : bits)
    total += unsigned(std::popcount(part));
  return total;
}
