// State-set stepping: the set of active states is carried over the subject
// one byte at a time, with no backtracking.

#include "support/regex/RegexMachine.h"

namespace ostrel {

namespace regex_detail {

// Character moves look at `before`; empty moves look at `after`, which is
// why the walk goes in program order and restarts at a loop head.
template <class Form>
void Machine<Form>::step(size_t first, size_t last, const Set &before, int symbol, Set &after) {
  bool realByte = symbol < 128;
  for (size_t state = first; state != last; ++state) {
    RegexWord word = code[state];
    switch (regexOpOf(word)) {
    case RegexOp::End:
      break;
    case RegexOp::Char:
      if (symbol == int((signed char)regexOperandOf(word)) && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::Bol:
      if ((symbol == symBol || symbol == symBolEol) && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::Eol:
      if ((symbol == symEol || symbol == symBolEol) && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::Bow:
      if (symbol == symBow && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::Eow:
      if (symbol == symEow && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::Any:
      if (realByte && Form::has(before, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::AnyOf:
      if (realByte && Form::has(before, state) &&
          program.sets[regexOperandOf(word)].has((unsigned char)symbol))
        Form::add(after, state + 1);
      break;
    case RegexOp::BackrefStart:
    case RegexOp::BackrefEnd:
    case RegexOp::PlusStart:
    case RegexOp::QuestEnd:
    case RegexOp::LParen:
    case RegexOp::RParen:
    case RegexOp::ChoiceEnd:
      if (Form::has(after, state))
        Form::add(after, state + 1);
      break;
    case RegexOp::PlusEnd: {
      if (!Form::has(after, state))
        break;
      Form::add(after, state + 1);
      size_t head = state - regexOperandOf(word);
      if (head < first || Form::has(after, head))
        break;
      Form::add(after, head);
      state = head - 1; // reconsider the loop body
      break;
    }
    case RegexOp::QuestStart:
    case RegexOp::ChoiceStart:
      if (Form::has(after, state)) {
        Form::add(after, state + 1);
        Form::add(after, state + regexOperandOf(word));
      }
      break;
    case RegexOp::Or1:
      if (Form::has(after, state))
        Form::add(after, facts.choiceEndOf[state]);
      break;
    case RegexOp::Or2:
      if (Form::has(after, state)) {
        Form::add(after, state + 1);
        size_t nextBranch = state + regexOperandOf(word);
        if (regexOpOf(code[nextBranch]) == RegexOp::Or2)
          Form::add(after, nextBranch);
      }
      break;
    }
  }
}

// The anchors and word boundaries between the symbols `lastSymbol` and
// `symbol`. They are applied until nothing changes, so that several of them
// in a row pass whatever their order ("^^", "[[:>:]]$" at the end of a word
// and of the text).
template <class Form>
void Machine<Form>::pseudoSteps(size_t first, size_t last, Set &set, int lastSymbol, int symbol) {
  int lineFlag = 0;
  bool anchors = false;
  if (lastSymbol == symOut || (newlineSensitive && lastSymbol == '\n')) {
    lineFlag = symBol;
    anchors = program.startAnchors != 0;
  }
  if (symbol == symOut || (newlineSensitive && symbol == '\n')) {
    lineFlag = lineFlag == symBol ? symBolEol : symEol;
    anchors = anchors || program.endAnchors != 0;
  }
  int wordFlag = 0;
  if (facts.hasWordBoundaries) {
    if ((lineFlag == symBol || (lastSymbol != symOut && !isWordSymbol(lastSymbol))) &&
        (symbol != symOut && isWordSymbol(symbol)))
      wordFlag = symBow;
    else if ((lastSymbol != symOut && isWordSymbol(lastSymbol)) &&
             (lineFlag == symEol || (symbol != symOut && !isWordSymbol(symbol))))
      wordFlag = symEow;
  }
  if (!anchors && !wordFlag)
    return;
  for (;;) {
    setOps.assign(scratch, set);
    if (anchors)
      step(first, last, scratch, lineFlag, set);
    if (wordFlag)
      step(first, last, scratch, wordFlag, set);
    if (setOps.equal(scratch, set))
      return;
  }
}

template <class Form> void Machine<Form>::prepareSkipping() {
  if (Form::has(fresh, stopState))
    return;
  for (size_t state = startState; state < stopState; ++state) {
    if (!Form::has(fresh, state))
      continue;
    RegexWord word = code[state];
    switch (regexOpOf(word)) {
    case RegexOp::Char:
      firstBytes[regexOperandOf(word) & 0xff] = true;
      break;
    case RegexOp::AnyOf:
      for (int byte = 0; byte < 256; ++byte)
        if (program.sets[regexOperandOf(word)].has((unsigned char)byte))
          firstBytes[byte] = true;
      break;
    case RegexOp::Any:
    case RegexOp::Bol:
    case RegexOp::Eol:
    case RegexOp::Bow:
    case RegexOp::Eow:
      return;
    default:
      break;
    }
  }
  unsigned count = 0;
  for (int byte = 0; byte < 256; ++byte)
    if (firstBytes[byte]) {
      ++count;
      onlyFirstByte = byte;
    }
  if (count != 1)
    onlyFirstByte = -1;
  canSkip = count < 256;
}

template <class Form>
const char *Machine<Form>::skipToFirstByte(const char *pos, const char *stop) const {
  if (onlyFirstByte >= 0) {
    const void *found = std::memchr(pos, onlyFirstByte, size_t(stop - pos));
    return found ? static_cast<const char *>(found) : stop;
  }
  // Eight lookups per branch: most bytes of a long subject start nothing.
  while (stop - pos >= 8) {
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(pos);
    if (firstBytes[bytes[0]] | firstBytes[bytes[1]] | firstBytes[bytes[2]] |
        firstBytes[bytes[3]] | firstBytes[bytes[4]] | firstBytes[bytes[5]] |
        firstBytes[bytes[6]] | firstBytes[bytes[7]])
      break;
    pos += 8;
  }
  while (pos != stop && !firstBytes[(unsigned char)*pos])
    ++pos;
  return pos;
}

template <class Form>
const char *Machine<Form>::fastStepping(const char *start, const char *stop) {
  setOps.clear(alive);
  coldPos = nullptr;
  const char *pos = start;
  int lastSymbol = symbolBefore(pos);
  for (;;) {
    if (canSkip && pos != stop && setOps.isEmpty(alive)) {
      const char *skipped = skipToFirstByte(pos, stop);
      if (skipped != pos) {
        pos = skipped;
        lastSymbol = int((signed char)pos[-1]);
      }
    }
    int symbol = symbolAt(pos);
    if (setOps.isEmpty(alive))
      coldPos = pos;
    setOps.assign(current, alive);
    setOps.unite(current, fresh);
    pseudoSteps(startState, stopState, current, lastSymbol, symbol);
    if (Form::has(current, stopState) || pos == stop)
      break;
    setOps.clear(alive);
    step(startState, stopState, current, symbol, alive);
    ++pos;
    lastSymbol = symbol;
  }
  return Form::has(current, stopState) ? pos : nullptr;
}

template <class Form>
const char *Machine<Form>::slowStepping(const char *start, const char *stop, size_t firstState,
                                        size_t lastState, std::vector<uint64_t> *ends) {
  const char *pos = start;
  int lastSymbol = symbolBefore(pos);
  setOps.clear(current);
  Form::add(current, firstState);
  setOps.assign(scratch, current);
  step(firstState, lastState, scratch, symNothing, current);
  const char *matchEnd = nullptr;
  for (;;) {
    int symbol = symbolAt(pos);
    pseudoSteps(firstState, lastState, current, lastSymbol, symbol);
    if (Form::has(current, lastState)) {
      matchEnd = pos;
      if (ends)
        markEnd(*ends, size_t(pos - start));
    }
    if (setOps.equal(current, empty) || pos == stop) {
      slowReached = pos;
      break;
    }
    setOps.assign(tmp, current);
    setOps.assign(current, empty);
    step(firstState, lastState, tmp, symbol, current);
    ++pos;
    lastSymbol = symbol;
  }
  return matchEnd;
}

#define OSTREL_REGEX_STEPPING_MEMBERS(Form)                                                   \
  template void Machine<Form>::step(size_t, size_t, const Form::Set &, int, Form::Set &);    \
  template void Machine<Form>::pseudoSteps(size_t, size_t, Form::Set &, int, int);           \
  template void Machine<Form>::prepareSkipping();                                            \
  template const char *Machine<Form>::skipToFirstByte(const char *, const char *) const;     \
  template const char *Machine<Form>::fastStepping(const char *, const char *);              \
  template const char *Machine<Form>::slowStepping(const char *, const char *, size_t,       \
                                                    size_t, std::vector<uint64_t> *);
OSTREL_REGEX_STEPPING_MEMBERS(WordForm)
OSTREL_REGEX_STEPPING_MEMBERS(ByteForm)
#undef OSTREL_REGEX_STEPPING_MEMBERS

} // namespace regex_detail

} // namespace ostrel
