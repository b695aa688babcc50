// The back-reference walk: a backtracking run of the program over a
// candidate range that the state sets found, deciding exactly whether each
// reference repeats its group's text. Greedy choices are tried first.

#include "support/regex/RegexMachine.h"

namespace ostrel {

namespace regex_detail {

template <class Form> bool Machine<Form>::conditionHolds(RegexOp op, const char *pos) const {
  bool lineStart = lineStartAt(pos);
  bool lineEnd = lineEndAt(pos);
  switch (op) {
  case RegexOp::Bol:
    return lineStart;
  case RegexOp::Eol:
    return lineEnd;
  case RegexOp::Bow:
    return (lineStart || (pos != begin && !isWordSymbol(pos[-1]))) && pos != end &&
           isWordSymbol(*pos);
  case RegexOp::Eow:
    return pos != begin && isWordSymbol(pos[-1]) &&
           ((lineEnd && !lineStart) || (pos != end && !isWordSymbol(*pos)));
  default:
    return false;
  }
}

// Choice points and undo records live on `trail`, which is bounded.
template <class Form> bool Machine<Form>::push(const TrailEntry &entry) {
  if (trail.size() >= maxBacktrackEntries)
    return false;
  trail.push_back(entry);
  return true;
}

// The group's text must follow byte for byte (also under ignore case).
template <class Form>
bool Machine<Form>::matchBackref(WalkPosition &walk, size_t group, const char *stop) {
  const RegexMatchSlot &groupSlot = groups[group];
  if (groupSlot.end == -1 || groupSlot.start == -1 || groupSlot.end < groupSlot.start)
    return false;
  size_t length = size_t(groupSlot.end - groupSlot.start);
  if (size_t(stop - walk.subjectPos) < length ||
      std::memcmp(walk.subjectPos, base + groupSlot.start, length) != 0)
    return false;
  if (length == 0 && ++walk.emptyBackrefs > maxEmptyBackrefs)
    return false;
  walk.subjectPos += length;
  walk.state = facts.backrefEnd[walk.state] + 1;
  return true;
}

// Runs the instruction at walk.state.
template <class Form>
WalkStep Machine<Form>::walkInstruction(WalkPosition &walk, const char *stop) {
  size_t &state = walk.state;
  const char *&subjectPos = walk.subjectPos;
  RegexWord word = code[state];
  size_t operand = regexOperandOf(word);
  bool ok = true;
  switch (regexOpOf(word)) {
  // Simple instructions: test the byte or the position.
  case RegexOp::Char:
    ok = subjectPos != stop && (unsigned char)*subjectPos == operand;
    ++subjectPos, ++state;
    break;
  case RegexOp::Any:
    ok = subjectPos != stop;
    ++subjectPos, ++state;
    break;
  case RegexOp::AnyOf:
    ok = subjectPos != stop && program.sets[operand].has((unsigned char)*subjectPos);
    ++subjectPos, ++state;
    break;
  case RegexOp::Bol:
  case RegexOp::Eol:
  case RegexOp::Bow:
  case RegexOp::Eow:
    ok = conditionHolds(regexOpOf(word), subjectPos);
    ++state;
    break;
  case RegexOp::BackrefStart:
    ok = matchBackref(walk, operand, stop);
    break;

  // Loops: another iteration first, leaving the loop as the alternative.
  case RegexOp::QuestStart:
    if (!push({TrailEntry::Resume, state + operand + 1, subjectPos, 0, walk.emptyBackrefs}))
      return WalkStep::OutOfMemory;
    ++state;
    break;
  case RegexOp::PlusStart: {
    unsigned level = facts.loopLevel[state];
    if (!push({TrailEntry::LoopPosition, level, loopPositions[level], 0, 0}))
      return WalkStep::OutOfMemory;
    loopPositions[level] = subjectPos;
    ++state;
    break;
  }
  case RegexOp::PlusEnd: {
    unsigned level = facts.loopLevel[state];
    if (subjectPos == loopPositions[level]) {
      ++state; // the iteration matched nothing: leave the loop
      break;
    }
    if (!push({TrailEntry::Resume, state + 1, subjectPos, 0, walk.emptyBackrefs}) ||
        !push({TrailEntry::LoopPosition, level, loopPositions[level], 0, 0}))
      return WalkStep::OutOfMemory;
    loopPositions[level] = subjectPos;
    state = state - operand + 1;
    break;
  }

  // Alternatives: the first branch, with the next one as the alternative.
  case RegexOp::ChoiceStart:
    if (!push({TrailEntry::Resume, state + operand, subjectPos, 0, walk.emptyBackrefs}))
      return WalkStep::OutOfMemory;
    ++state;
    break;
  case RegexOp::Or2:
    // Reached only when resuming: the next branch, with the one after it
    // as the new alternative.
    if (program.op(state + operand) == RegexOp::Or2 &&
        !push({TrailEntry::Resume, state + operand, subjectPos, 0, walk.emptyBackrefs}))
      return WalkStep::OutOfMemory;
    ++state;
    break;
  case RegexOp::Or1:
    // A branch succeeded: continue after the whole alternation.
    state = facts.choiceEndOf[state] + 1;
    break;

  // Groups: recorded, and restored when the walk backs out past them.
  case RegexOp::LParen:
    if (!push({TrailEntry::GroupStart, operand, nullptr, groups[operand].start, 0}))
      return WalkStep::OutOfMemory;
    groups[operand].start = subjectPos - base;
    ++state;
    break;
  case RegexOp::RParen:
    if (!push({TrailEntry::GroupEnd, operand, nullptr, groups[operand].end, 0}))
      return WalkStep::OutOfMemory;
    groups[operand].end = subjectPos - base;
    ++state;
    break;

  case RegexOp::QuestEnd:
  case RegexOp::ChoiceEnd:
  case RegexOp::BackrefEnd:
    ++state;
    break;
  case RegexOp::End:
    ok = false;
    break;
  }
  return ok ? WalkStep::Advanced : WalkStep::Failed;
}

// Backs out to the latest choice point, undoing the records made after it.
// False when there is none left.
template <class Form> bool Machine<Form>::resumeFromTrail(WalkPosition &walk) {
  while (!trail.empty()) {
    TrailEntry entry = trail.back();
    trail.pop_back();
    switch (entry.kind) {
    case TrailEntry::Resume:
      walk = {entry.index, entry.subjectPos, entry.emptyBackrefs};
      return true;
    case TrailEntry::GroupStart:
      groups[entry.index].start = entry.oldOffset;
      break;
    case TrailEntry::GroupEnd:
      groups[entry.index].end = entry.oldOffset;
      break;
    case TrailEntry::LoopPosition:
      loopPositions[entry.index] = entry.subjectPos;
      break;
    }
  }
  return false;
}

// Walks states [firstState, lastState), which must consume exactly
// [start, stop).
template <class Form>
WalkOutcome Machine<Form>::backref(const char *start, const char *stop, size_t firstState,
                                   size_t lastState) {
  trail.clear();
  WalkPosition walk{firstState, start, 0};
  for (;;) {
    WalkStep outcome = WalkStep::Failed;
    if (walk.state != lastState)
      outcome = walkInstruction(walk, stop);
    else if (walk.subjectPos == stop)
      return WalkOutcome::Matched;
    if (outcome == WalkStep::OutOfMemory)
      return WalkOutcome::OutOfMemory;
    if (outcome == WalkStep::Failed && !resumeFromTrail(walk))
      return WalkOutcome::Failed;
  }
}

#define OSTREL_REGEX_BACKREF_MEMBERS(Form)                                                    \
  template bool Machine<Form>::conditionHolds(RegexOp, const char *) const;                  \
  template bool Machine<Form>::push(const TrailEntry &);                                     \
  template bool Machine<Form>::matchBackref(WalkPosition &, size_t, const char *);           \
  template WalkStep Machine<Form>::walkInstruction(WalkPosition &, const char *);            \
  template bool Machine<Form>::resumeFromTrail(WalkPosition &);                              \
  template WalkOutcome Machine<Form>::backref(const char *, const char *, size_t, size_t);
OSTREL_REGEX_BACKREF_MEMBERS(WordForm)
OSTREL_REGEX_BACKREF_MEMBERS(ByteForm)
#undef OSTREL_REGEX_BACKREF_MEMBERS

} // namespace regex_detail

} // namespace ostrel
