// The cached automata: state sets met while stepping are numbered, and the
// transition of each on each byte class is kept, so that a scan over text
// seen in the same states before costs one table lookup per byte.

#include "support/regex/RegexMachine.h"

#include <algorithm>

namespace ostrel {

namespace regex_detail {

template <class Form> int Machine<Form>::contextClassOf(int symbol) const {
  if (!facts.contextMatters || symbol == symOut)
    return 0;
  if (newlineSensitive && symbol == '\n')
    return 1;
  return isWordSymbol(symbol) ? 2 : 3;
}

namespace {

// A symbol of each context class, to replay the anchor steps with.
int contextRepresentative(int contextClass) {
  static const int symbols[] = {symOut, '\n', 'a', ' '};
  return symbols[contextClass];
}

} // namespace

template <class Form>
int32_t Machine<Form>::cachedState(Automaton &automaton, const Set &set, int contextClass) {
  setOps.toKey(set, keyBuffer);
  keyBuffer += char(contextClass);
  auto found = automaton.index.find(keyBuffer);
  if (found != automaton.index.end())
    return found->second;
  int32_t index = int32_t(automaton.states.size());
  automaton.states.push_back({keyBuffer, contextClass, setOps.isEmpty(set)});
  automaton.next.resize(automaton.next.size() + facts.classCount, unknownTarget);
  automaton.index.emplace(keyBuffer, index);
  return index;
}

template <class Form> int32_t Machine<Form>::coldState(int contextClass) {
  if (scanCache.emptyStates[contextClass] < 0)
    scanCache.emptyStates[contextClass] = cachedState(scanCache, empty, contextClass);
  return scanCache.emptyStates[contextClass];
}

template <class Form>
int32_t Machine<Form>::transition(Automaton &automaton, int32_t state, unsigned char byte) {
  if (automaton.states.size() >= cacheCapacity) {
    std::string key = automaton.states[size_t(state)].key;
    int contextClass = automaton.states[size_t(state)].contextClass;
    automaton.states.clear();
    automaton.next.clear();
    automaton.index.clear();
    ++automaton.generation;
    std::fill(std::begin(automaton.emptyStates), std::end(automaton.emptyStates), -1);
    std::fill(std::begin(automaton.startStates), std::end(automaton.startStates), -1);
    setOps.fromKey(key, tmp);
    state = cachedState(automaton, tmp, contextClass);
  }
  const CachedState &from = automaton.states[size_t(state)];
  int symbol = int((signed char)byte);
  setOps.fromKey(from.key, tmp);
  if (automaton.joinFresh)
    setOps.unite(tmp, fresh);
  pseudoSteps(automaton.first, automaton.last, tmp, contextRepresentative(from.contextClass),
              symbol);
  int32_t endsHere = Form::has(tmp, automaton.last) ? 1 : 0;
  setOps.clear(current);
  step(automaton.first, automaton.last, tmp, symbol, current);
  int32_t target = cachedState(automaton, current, contextClassOf(symbol)) << 1 | endsHere;
  automaton.next[size_t(state) * facts.classCount + facts.byteClassOf[byte]] = target;
  return target;
}

template <class Form>
typename Machine<Form>::Automaton &Machine<Form>::extentCache(size_t first, size_t last) {
  for (auto &automaton : extentCaches)
    if (automaton->first == first && automaton->last == last)
      return *automaton;
  if (extentCaches.size() >= maxExtentCaches)
    extentCaches.clear();
  extentCaches.push_back(std::make_unique<Automaton>());
  Automaton &automaton = *extentCaches.back();
  automaton.joinFresh = false;
  automaton.first = first;
  automaton.last = last;
  return automaton;
}

template <class Form>
const char *Machine<Form>::fastCached(const char *start, const char *stop) {
  coldPos = nullptr;
  const char *pos = start;
  int32_t state = coldState(contextClassOf(symbolBefore(pos)));
  const unsigned classCount = facts.classCount;
  while (pos != stop) {
    if (scanCache.states[size_t(state)].isEmpty) {
      if (canSkip) {
        const char *skipped = skipToFirstByte(pos, stop);
        if (skipped != pos) {
          pos = skipped;
          state = coldState(contextClassOf(int((signed char)pos[-1])));
          if (pos == stop)
            break;
        }
      }
      coldPos = pos;
    }
    unsigned char byte = (unsigned char)*pos;
    int32_t next = scanCache.next[size_t(state) * classCount + facts.byteClassOf[byte]];
    if (next == unknownTarget)
      next = transition(scanCache, state, byte);
    if (next & 1)
      return pos;
    state = next >> 1;
    ++pos;
  }
  // The last position: the end of the range, with the real following symbol.
  setOps.fromKey(scanCache.states[size_t(state)].key, current);
  if (setOps.isEmpty(current))
    coldPos = pos;
  setOps.unite(current, fresh);
  pseudoSteps(startState, stopState, current, symbolBefore(pos), symbolAt(pos));
  return Form::has(current, stopState) ? pos : nullptr;
}

// As slowStepping, with cached transitions: the leftmost start and the
// splitting into groups run it over the same text from many positions.
template <class Form>
const char *Machine<Form>::slowCached(const char *start, const char *stop, size_t firstState,
                                      size_t lastState, std::vector<uint64_t> *ends) {
  Automaton &automaton = extentCache(firstState, lastState);
  const char *pos = start;
  int contextClass = contextClassOf(symbolBefore(pos));
  int32_t state = automaton.startStates[contextClass];
  if (state < 0) {
    setOps.clear(current);
    Form::add(current, firstState);
    setOps.assign(scratch, current);
    step(firstState, lastState, scratch, symNothing, current);
    state = automaton.startStates[contextClass] = cachedState(automaton, current, contextClass);
  }
  const char *matchEnd = nullptr;
  // Generations beyond the entry's width are not told apart: no marks then.
  const bool useDeadEnds =
      recordDeadEnds && !ends && automaton.generation < (1u << (32 - deadStateBits));
  const unsigned classCount = facts.classCount;
  for (; pos != stop; ++pos) {
    if (automaton.states[size_t(state)].isEmpty) {
      slowReached = pos;
      return matchEnd;
    }
    if (useDeadEnds) {
      uint32_t here = automaton.generation << deadStateBits | uint32_t(state + 1);
      size_t at = size_t(pos - deadEndsBase);
      if (at >= deadEnds.size())
        deadEnds.resize(std::max(at + 1, deadEnds.size() * 2));
      if (deadEnds[at] == here) {
        slowReached = pos;
        return matchEnd;
      }
      if (!matchEnd)
        deadEnds[at] = here; // kept only if this scan fails; then it is dead indeed
    }
    unsigned char byte = (unsigned char)*pos;
    int32_t next = automaton.next[size_t(state) * classCount + facts.byteClassOf[byte]];
    if (next == unknownTarget)
      next = transition(automaton, state, byte);
    if (next & 1) {
      matchEnd = pos;
      if (ends)
        markEnd(*ends, size_t(pos - start));
    }
    state = next >> 1;
  }
  slowReached = pos;
  setOps.fromKey(automaton.states[size_t(state)].key, current);
  pseudoSteps(firstState, lastState, current, symbolBefore(pos), symbolAt(pos));
  if (Form::has(current, lastState)) {
    matchEnd = pos;
    if (ends)
      markEnd(*ends, size_t(pos - start));
  }
  return matchEnd;
}

#define OSTREL_REGEX_AUTOMATON_MEMBERS(Form)                                                  \
  template int Machine<Form>::contextClassOf(int) const;                                     \
  template int32_t Machine<Form>::cachedState(Automaton &, const Form::Set &, int);          \
  template int32_t Machine<Form>::coldState(int);                                            \
  template int32_t Machine<Form>::transition(Automaton &, int32_t, unsigned char);           \
  template Machine<Form>::Automaton &Machine<Form>::extentCache(size_t, size_t);             \
  template const char *Machine<Form>::fastCached(const char *, const char *);                \
  template const char *Machine<Form>::slowCached(const char *, const char *, size_t, size_t, \
                                                  std::vector<uint64_t> *);
OSTREL_REGEX_AUTOMATON_MEMBERS(WordForm)
OSTREL_REGEX_AUTOMATON_MEMBERS(ByteForm)
#undef OSTREL_REGEX_AUTOMATON_MEMBERS

} // namespace regex_detail

} // namespace ostrel
