// Splitting a known match among the groups: each construct of the program,
// from left to right, takes the longest extent that leaves the rest of the
// match to the rest of the program; groups inside loops report the last
// iteration.

#include "support/regex/RegexMachine.h"

#include <bit>

namespace ostrel {

namespace regex_detail {

// The end of the construct [constructStart, constructEnd) when it starts at
// subjectPos and the rest of the sub-program, constructEnd to lastState,
// must end exactly at stop: the longest such end. One scan finds every end
// the construct can have; they are tried from the longest down (rescanning
// for each would cost the square of the range).
template <class Form>
const char *Machine<Form>::constructExtent(const char *subjectPos, const char *stop,
                                           size_t constructStart, size_t constructEnd,
                                           size_t lastState) {
  size_t length = size_t(stop - subjectPos);
  std::vector<uint64_t> ends(length / 64 + 1);
  slow(subjectPos, stop, constructStart, constructEnd, &ends);
  for (size_t word = ends.size(); word-- > 0;) {
    for (uint64_t bits = ends[word]; bits != 0;) {
      unsigned highest = 63 - unsigned(std::countl_zero(bits));
      bits &= ~(uint64_t(1) << highest);
      const char *rest = subjectPos + word * 64 + highest;
      if (slow(rest, stop, constructEnd, lastState) == stop)
        return rest;
    }
  }
  return nullptr;
}

// When the sub-program from `state` on opens or closes no group, or does so
// only in a tail of zero-width instructions, nothing remains to split: the
// part before that tail consumes the whole rest of the range, so every group
// mark of the tail lies at `stop`. Answers whether that settled it. (Without
// this, a long expression inside one group would have each of its pieces
// measured against the rest of it: time quadratic in its length.)
template <class Form>
bool Machine<Form>::markersOnlyFrom(size_t state, size_t lastState, const char *stop) {
  size_t mark = facts.nextGroupMark[state];
  if (mark >= lastState)
    return true;
  if (facts.nextNonMarker[mark] < lastState)
    return false;
  for (; mark < lastState; ++mark) {
    if (program.op(mark) == RegexOp::LParen)
      groups[program.operand(mark)].start = stop - base;
    else if (program.op(mark) == RegexOp::RParen)
      groups[program.operand(mark)].end = stop - base;
  }
  return true;
}

// Records the groups of the states [firstState, lastState), known to match
// [subjectPos, stop) exactly.
template <class Form>
void Machine<Form>::dissect(const char *subjectPos, const char *stop, size_t firstState,
                            size_t lastState) {
  size_t constructEnd;
  for (size_t state = firstState; state < lastState; state = constructEnd) {
    if (markersOnlyFrom(state, lastState, stop))
      return;
    constructEnd = state;
    RegexOp op = program.op(state);
    if (op == RegexOp::PlusStart || op == RegexOp::QuestStart) {
      constructEnd += program.operand(constructEnd);
    } else if (op == RegexOp::ChoiceStart) {
      while (program.op(constructEnd) != RegexOp::ChoiceEnd)
        constructEnd += program.operand(constructEnd);
    }
    ++constructEnd;
    switch (op) {
    case RegexOp::Char:
    case RegexOp::Any:
    case RegexOp::AnyOf:
      ++subjectPos;
      break;
    case RegexOp::LParen:
      groups[program.operand(state)].start = subjectPos - base;
      break;
    case RegexOp::RParen:
      groups[program.operand(state)].end = subjectPos - base;
      break;
    case RegexOp::QuestStart: {
      const char *rest = constructExtent(subjectPos, stop, state, constructEnd, lastState);
      if (!rest)
        return; // cannot happen for a range known to match
      if (slow(subjectPos, rest, state + 1, constructEnd - 1) != nullptr)
        dissect(subjectPos, rest, state + 1, constructEnd - 1);
      subjectPos = rest;
      break;
    }
    case RegexOp::PlusStart: {
      const char *rest = constructExtent(subjectPos, stop, state, constructEnd, lastState);
      if (!rest)
        return;
      size_t bodyStart = state + 1, bodyEnd = constructEnd - 1;
      // The last iteration: iterations are taken while they consume bytes.
      const char *iteration = subjectPos;
      const char *previous = subjectPos;
      const char *iterationEnd;
      for (;;) {
        iterationEnd = slow(iteration, rest, bodyStart, bodyEnd);
        if (!iterationEnd || iterationEnd == iteration)
          break;
        previous = iteration;
        iteration = iterationEnd;
      }
      if (!iterationEnd) {
        iterationEnd = iteration;
        iteration = previous;
      }
      dissect(iteration, iterationEnd, bodyStart, bodyEnd);
      subjectPos = rest;
      break;
    }
    case RegexOp::ChoiceStart: {
      const char *rest = constructExtent(subjectPos, stop, state, constructEnd, lastState);
      if (!rest)
        return;
      // The first branch that spans the construct's extent.
      size_t branchStart = state + 1;
      size_t branchEnd = state + program.operand(state) - 1; // the first branch's Or1
      for (;;) {
        if (slow(subjectPos, rest, branchStart, branchEnd) == rest)
          break;
        if (program.op(branchEnd) != RegexOp::Or1)
          return; // no branch fits: cannot happen for a range known to match
        ++branchEnd; // its Or2
        branchStart = branchEnd + 1;
        branchEnd += program.operand(branchEnd);
        if (program.op(branchEnd) == RegexOp::Or2)
          --branchEnd;
      }
      dissect(subjectPos, rest, branchStart, branchEnd);
      subjectPos = rest;
      break;
    }
    default:
      break;
    }
  }
}

#define OSTREL_REGEX_SPLIT_MEMBERS(Form)                                                      \
  template const char *Machine<Form>::constructExtent(const char *, const char *, size_t,    \
                                                      size_t, size_t);                       \
  template bool Machine<Form>::markersOnlyFrom(size_t, size_t, const char *);                \
  template void Machine<Form>::dissect(const char *, const char *, size_t, size_t);
OSTREL_REGEX_SPLIT_MEMBERS(WordForm)
OSTREL_REGEX_SPLIT_MEMBERS(ByteForm)
#undef OSTREL_REGEX_SPLIT_MEMBERS

} // namespace regex_detail

} // namespace ostrel
