#include "support/regex/RegexProgram.h"

#include <bit>

namespace ostrel {

unsigned CharSet::count() const {
  unsigned total = 0;
  for (uint64_t part : bits)
    total += unsigned(std::popcount(part));
  return total;
}

bool RegexProgram::consumesLineFeed() const {
  for (size_t state = firstState + 1; state < lastState; ++state) {
    switch (op(state)) {
    case RegexOp::Any:
      return true;
    case RegexOp::Char:
      if (operand(state) == '\n')
        return true;
      break;
    case RegexOp::AnyOf:
      if (sets[operand(state)].has('\n'))
        return true;
      break;
    default:
      break;
    }
  }
  return false;
}

} // namespace ostrel
