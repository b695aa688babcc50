#include "support/regex/RegexMatcher.h"

#include "support/regex/RegexCompiler.h"

#include <cstring>
#include <memory>
#include <new>
#include <algorithm>
#include <bit>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Input symbols: a real byte is its signed value (-128..127); the rest are
// pseudo-symbols that only anchors and word boundaries react to.
enum Symbol : int {
  symOut = 128, // before the first or after the last byte
  symBol = 129,
  symEol = 130,
  symBolEol = 131,
  symNothing = 132,
  symBow = 133,
  symEow = 134,
};

void markEnd(std::vector<uint64_t> &ends, size_t offset) {
  ends[offset >> 6] |= uint64_t(1) << (offset & 63);
}

bool isWordSymbol(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The backtracking walk keeps its choice points on the heap; past this many
// entries it gives up with "out of memory" rather than grow without bound.
constexpr size_t maxBacktrackEntries = size_t(1) << 22;

// Empty back-reference matches allowed along one path of the walk.
constexpr unsigned maxEmptyBackrefs = 100;

// Scans over long ranges cache state sets and their transitions (a lazily
// built deterministic automaton). A cache is bounded: when full it starts
// afresh, so memory does not depend on the subject. Short ranges are
// stepped directly, where building the cache would cost more than it saves.
constexpr size_t maxCachedStates = 512;
constexpr size_t maxCachedBytes = size_t(1) << 20; // per automaton
constexpr ptrdiff_t minCachedScan = 256;
// Programs beyond this many instructions are always stepped: their state
// sets are too large to cache usefully.
constexpr size_t maxCachedProgram = 4096;
constexpr size_t maxExtentCaches = 16;

/// One machine word per state set: bit k is state k.
struct WordForm {
  using Set = uint64_t;
  explicit WordForm(size_t) {}
  Set make() { return 0; }
  static bool has(const Set &s, size_t k) { return (s >> k) & 1; }
  static void add(Set &s, size_t k) { s |= uint64_t(1) << k; }
  static void assign(Set &to, const Set &from) { to = from; }
  static bool equal(const Set &a, const Set &b) { return a == b; }
  static void clear(Set &s) { s = 0; }
  static void unite(Set &to, const Set &from) { to |= from; }
  static bool isEmpty(const Set &s) { return s == 0; }
  void toKey(const Set &s, std::string &key) const {
    key.assign(reinterpret_cast<const char *>(&s), sizeof s);
  }
  void fromKey(const std::string &key, Set &s) const { std::memcpy(&s, key.data(), sizeof s); }
};

/// One byte per state; serves programs of any size.
struct ByteForm {
  using Set = uint8_t *;
  static constexpr size_t setCount = 6;
  size_t states;
  std::vector<uint8_t> storage;
  size_t used = 0;
  explicit ByteForm(size_t stateCount) : states(stateCount), storage(stateCount * setCount) {}
  Set make() {
    Set s = storage.data() + used * states;
    ++used;
    return s;
  }
  static bool has(const Set &s, size_t k) { return s[k] != 0; }
  static void add(Set &s, size_t k) { s[k] = 1; }
  void assign(Set &to, const Set &from) const { std::memcpy(to, from, states); }
  bool equal(const Set &a, const Set &b) const { return std::memcmp(a, b, states) == 0; }
  void clear(Set &s) const { std::memset(s, 0, states); }
  void unite(Set &to, const Set &from) const {
    for (size_t k = 0; k < states; ++k)
      to[k] |= from[k];
  }
  bool isEmpty(const Set &s) const {
    for (size_t k = 0; k < states; ++k)
      if (s[k])
        return false;
    return true;
  }
  void toKey(const Set &s, std::string &key) const {
    key.assign(reinterpret_cast<const char *>(s), states);
  }
  void fromKey(const std::string &key, Set &s) const { std::memcpy(s, key.data(), states); }
};

enum class Outcome { Matched, Failed, OutOfMemory };

template <class Form> class Machine {
public:
  using Set = typename Form::Set;

  Machine(const RegexProgram &program, const char *base, const char *begin, const char *end)
      : g(program), code(program.instructions.data()), form(program.instructions.size()),
        base(base), begin(begin), end(end), newlineSensitive(program.compileFlags & regexNewline) {
    st = form.make();
    fresh = form.make();
    tmp = form.make();
    empty = form.make();
    scratch = form.make();
    alive = form.make();
    form.clear(alive);
    form.clear(st);
    form.clear(fresh);
    form.clear(tmp);
    form.clear(empty);
    form.clear(scratch);
    startState = g.firstState + 1;
    stopState = g.lastState;
    for (size_t k = startState; k < stopState; ++k) {
      RegexOp op = g.op(k);
      if (op == RegexOp::Bow || op == RegexOp::Eow)
        hasWordBoundaries = true;
    }
    form.add(fresh, startState);
    step(startState, stopState, fresh, symNothing, fresh);
    prepareSkipping();
    size_t count = g.instructions.size();
    if (count <= maxCachedProgram)
      cacheCapacity = std::min(maxCachedStates,
                               maxCachedBytes / (sizeof(CachedState) + count + 64));
    scanCache.joinFresh = true;
    scanCache.first = startState;
    scanCache.last = stopState;
    classesMatter = hasWordBoundaries || g.startAnchors != 0 || g.endAnchors != 0;
  }

  /// Searches; no match can start before `firstStart`.
  int run(size_t slotCount, RegexMatchSlot *slots, const char *firstStart);

private:
  const RegexProgram &g;
  const RegexWord *code;
  Form form;
  const char *base;
  const char *begin;
  const char *end;
  bool newlineSensitive;
  bool hasWordBoundaries = false;
  size_t startState = 0, stopState = 0;
  Set st{}, fresh{}, tmp{}, empty{}, scratch{};
  // The scan for the first match end keeps apart the states of matches that
  // began before the current position: where there are none, the position
  // is cold, and the leftmost match cannot begin earlier. (The whole set
  // being equal to the fresh states is not enough: an earlier match may sit
  // in states that the fresh set happens to hold too.)
  Set alive{};
  const char *coldp = nullptr;
  std::vector<RegexMatchSlot> groups;

  // Bytes that can begin a match, when a fresh state set only waits for a
  // byte: positions holding none of them cannot start a match and are skipped.
  bool canSkip = false;
  int onlyFirstByte = -1;
  uint8_t firstBytes[256] = {};

  // The backtracking walk's choice points and undo records.
  struct Entry {
    enum Kind : uint8_t { Resume, GroupStart, GroupEnd, LoopPosition } kind;
    size_t index;       // resume state, group or loop level
    const char *sp;     // resume position, or the old loop position
    ptrdiff_t old;      // old group offset
    unsigned empties;   // empty back-references so far on the resumed path
  };
  std::vector<Entry> trail;
  std::vector<const char *> loopPositions;

  // Cached automata. A cached state is a state set at some position before
  // the anchor steps, together with the class of the byte before that
  // position (which is all the anchor and word-boundary steps look at).
  // Its transition on a byte is (next state << 1) | (a match ends before
  // the byte). The scan for the first match end caches the states alive
  // from matches begun earlier, joining in the fresh states at every byte;
  // the search for the longest match caches plain sets.
  static constexpr int32_t unknownTarget = -1;
  struct CachedState {
    std::string key;
    int byteClass;
    bool isEmpty;
    int32_t next[256];
  };
  struct Automaton {
    bool joinFresh;
    size_t first, last; // the sub-program [first, last) it runs
    std::vector<CachedState> states;
    std::unordered_map<std::string, int32_t> index;
    int32_t emptyStates[4] = {-1, -1, -1, -1};
    uint32_t generation = 0; // counts the times the cache started afresh
  };
  // While the leftmost start is sought, the (position, cached state) pairs
  // that scans from earlier starts passed without finding any end: a later
  // scan that reaches one of them will find no further end either. Each entry
  // is the cache generation and the state index plus one; 0 for none. It
  // grows only as far as the failed scans went.
  static constexpr unsigned deadStateBits = 10;
  static_assert(maxCachedStates < (1u << deadStateBits));
  std::vector<uint32_t> deadEnds;
  const char *deadEndsBase = nullptr;
  bool recordDeadEnds = false;
  Automaton scanCache;
  // Longest-match searches, one automaton per sub-program asked for (the
  // search for the leftmost start, and the splitting into groups, which
  // asks about the same constructs from many positions).
  std::vector<std::unique_ptr<Automaton>> extentCaches;
  Automaton &extentCache(size_t first, size_t last);
  std::string keyBuffer;
  size_t cacheCapacity = 0; // cached states per automaton; 0: no caching
  bool classesMatter = false;
  int classOf(int symbol) const {
    if (!classesMatter)
      return 0;
    if (symbol == symOut)
      return 0;
    if (newlineSensitive && symbol == '\n')
      return 1;
    return isWordSymbol(symbol) ? 2 : 3;
  }
  static int representative(int byteClass) {
    static const int symbols[] = {symOut, '\n', 'a', ' '};
    return symbols[byteClass];
  }
  int32_t cachedState(Automaton &automaton, const Set &set, int byteClass);
  int32_t coldState(int byteClass) {
    if (scanCache.emptyStates[byteClass] < 0)
      scanCache.emptyStates[byteClass] = cachedState(scanCache, empty, byteClass);
    return scanCache.emptyStates[byteClass];
  }
  const char *skipToFirstByte(const char *p, const char *stop) const;
  int32_t transition(Automaton &automaton, int32_t state, unsigned char c);
  const char *slowCached(const char *start, const char *stop, size_t startst, size_t stopst,
                         std::vector<uint64_t> *ends);
  const char *slowStepping(const char *start, const char *stop, size_t startst, size_t stopst,
                           std::vector<uint64_t> *ends);
  std::vector<unsigned> loopLevel;
  std::vector<size_t> backrefEnd;

  int symbolAt(const char *p) const { return p == end ? symOut : int((signed char)*p); }

  void step(size_t start, size_t stop, const Set &before, int ch, Set &after);
  void pseudoSteps(size_t start, size_t stop, Set &set, int lastc, int c);
  void prepareSkipping();
  const char *fast(const char *start, const char *stop);
  const char *fastStepping(const char *start, const char *stop);
  const char *fastCached(const char *start, const char *stop);
  /// The longest end of a match of states [startst, stopst) from `start`
  /// within `stop`; with `ends` (a bit per position from `start` on, sized
  /// by the caller), the bit of every possible end is set.
  const char *slow(const char *start, const char *stop, size_t startst, size_t stopst,
                   std::vector<uint64_t> *ends = nullptr);
  void dissect(const char *sp, const char *stop, size_t startst, size_t stopst);
  const char *constructExtent(const char *sp, const char *stop, size_t ss, size_t es,
                              size_t stopst);
  void prepareBackrefs();
  bool lineStartAt(const char *sp) const {
    return sp == begin || (newlineSensitive && sp[-1] == '\n');
  }
  bool lineEndAt(const char *sp) const {
    return sp == end || (newlineSensitive && *sp == '\n');
  }
  bool conditionHolds(RegexOp op, const char *sp) const;
  Outcome backref(const char *sp, const char *stop, size_t ss, size_t es);
};

template <class Form>
void Machine<Form>::step(size_t start, size_t stop, const Set &before, int ch, Set &after) {
  bool realByte = ch < 128;
  for (size_t k = start; k != stop; ++k) {
    RegexWord word = code[k];
    switch (regexOpOf(word)) {
    case RegexOp::End:
      break;
    case RegexOp::Char:
      if (ch == int((signed char)regexOperandOf(word)) && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::Bol:
      if ((ch == symBol || ch == symBolEol) && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::Eol:
      if ((ch == symEol || ch == symBolEol) && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::Bow:
      if (ch == symBow && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::Eow:
      if (ch == symEow && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::Any:
      if (realByte && Form::has(before, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::AnyOf:
      if (realByte && Form::has(before, k) &&
          g.sets[regexOperandOf(word)].has((unsigned char)ch))
        Form::add(after, k + 1);
      break;
    case RegexOp::BackrefStart:
    case RegexOp::BackrefEnd:
    case RegexOp::PlusStart:
    case RegexOp::QuestEnd:
    case RegexOp::LParen:
    case RegexOp::RParen:
    case RegexOp::ChoiceEnd:
      if (Form::has(after, k))
        Form::add(after, k + 1);
      break;
    case RegexOp::PlusEnd: {
      if (!Form::has(after, k))
        break;
      Form::add(after, k + 1);
      size_t head = k - regexOperandOf(word);
      if (head < start || Form::has(after, head))
        break;
      Form::add(after, head);
      k = head - 1; // reconsider the loop body
      break;
    }
    case RegexOp::QuestStart:
    case RegexOp::ChoiceStart:
      if (Form::has(after, k)) {
        Form::add(after, k + 1);
        Form::add(after, k + regexOperandOf(word));
      }
      break;
    case RegexOp::Or1:
      if (Form::has(after, k)) {
        size_t look = k + 1;
        while (regexOpOf(code[look]) != RegexOp::ChoiceEnd)
          look += regexOperandOf(code[look]);
        Form::add(after, look);
      }
      break;
    case RegexOp::Or2:
      if (Form::has(after, k)) {
        Form::add(after, k + 1);
        size_t nextBranch = k + regexOperandOf(word);
        if (regexOpOf(code[nextBranch]) == RegexOp::Or2)
          Form::add(after, nextBranch);
      }
      break;
    }
  }
}

// The anchors and word boundaries between the symbols `lastc` and `c`. They
// are applied until nothing changes, so that several of them in a row pass
// whatever their order ("^^", "[[:>:]]$" at the end of a word and of the
// text).
template <class Form>
void Machine<Form>::pseudoSteps(size_t start, size_t stop, Set &set, int lastc, int c) {
  int lineFlag = 0;
  bool anchors = false;
  if (lastc == symOut || (newlineSensitive && lastc == '\n')) {
    lineFlag = symBol;
    anchors = g.startAnchors != 0;
  }
  if (c == symOut || (newlineSensitive && c == '\n')) {
    lineFlag = lineFlag == symBol ? symBolEol : symEol;
    anchors = anchors || g.endAnchors != 0;
  }
  int wordFlag = 0;
  if (hasWordBoundaries) {
    if ((lineFlag == symBol || (lastc != symOut && !isWordSymbol(lastc))) &&
        (c != symOut && isWordSymbol(c)))
      wordFlag = symBow;
    else if ((lastc != symOut && isWordSymbol(lastc)) &&
             (lineFlag == symEol || (c != symOut && !isWordSymbol(c))))
      wordFlag = symEow;
  }
  if (!anchors && !wordFlag)
    return;
  for (;;) {
    form.assign(scratch, set);
    if (anchors)
      step(start, stop, scratch, lineFlag, set);
    if (wordFlag)
      step(start, stop, scratch, wordFlag, set);
    if (form.equal(scratch, set))
      return;
  }
}

template <class Form> void Machine<Form>::prepareSkipping() {
  if (Form::has(fresh, stopState))
    return;
  for (size_t k = startState; k < stopState; ++k) {
    if (!Form::has(fresh, k))
      continue;
    RegexWord word = code[k];
    switch (regexOpOf(word)) {
    case RegexOp::Char:
      firstBytes[regexOperandOf(word) & 0xff] = true;
      break;
    case RegexOp::Any:
      return;
    case RegexOp::AnyOf:
      for (int c = 0; c < 256; ++c)
        if (g.sets[regexOperandOf(word)].has((unsigned char)c))
          firstBytes[c] = true;
      break;
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
  for (int c = 0; c < 256; ++c)
    if (firstBytes[c]) {
      ++count;
      onlyFirstByte = c;
    }
  if (count != 1)
    onlyFirstByte = -1;
  canSkip = count < 256;
}

template <class Form>
int32_t Machine<Form>::cachedState(Automaton &automaton, const Set &set, int byteClass) {
  form.toKey(set, keyBuffer);
  keyBuffer += char(byteClass);
  auto found = automaton.index.find(keyBuffer);
  if (found != automaton.index.end())
    return found->second;
  int32_t index = int32_t(automaton.states.size());
  automaton.states.emplace_back();
  CachedState &state = automaton.states.back();
  state.key = keyBuffer;
  state.byteClass = byteClass;
  state.isEmpty = form.isEmpty(set);
  std::fill(std::begin(state.next), std::end(state.next), unknownTarget);
  automaton.index.emplace(keyBuffer, index);
  return index;
}

template <class Form>
int32_t Machine<Form>::transition(Automaton &automaton, int32_t state, unsigned char c) {
  if (automaton.states.size() >= cacheCapacity) {
    std::string key = automaton.states[size_t(state)].key;
    int byteClass = automaton.states[size_t(state)].byteClass;
    automaton.states.clear();
    ++automaton.generation;
    automaton.index.clear();
    std::fill(std::begin(automaton.emptyStates), std::end(automaton.emptyStates), -1);
    form.fromKey(key, tmp);
    state = cachedState(automaton, tmp, byteClass);
  }
  CachedState &from = automaton.states[size_t(state)];
  int symbol = int((signed char)c);
  form.fromKey(from.key, tmp);
  if (automaton.joinFresh)
    form.unite(tmp, fresh);
  pseudoSteps(automaton.first, automaton.last, tmp, representative(from.byteClass), symbol);
  int32_t endsHere = Form::has(tmp, automaton.last) ? 1 : 0;
  form.clear(st);
  step(automaton.first, automaton.last, tmp, symbol, st);
  int32_t target = cachedState(automaton, st, classOf(symbol)) << 1 | endsHere;
  automaton.states[size_t(state)].next[c] = target;
  return target;
}

template <class Form>
const char *Machine<Form>::skipToFirstByte(const char *p, const char *stop) const {
  if (onlyFirstByte >= 0) {
    const void *q = std::memchr(p, onlyFirstByte, size_t(stop - p));
    return q ? static_cast<const char *>(q) : stop;
  }
  // Eight lookups per branch: most bytes of a long subject start nothing.
  while (stop - p >= 8) {
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    if (firstBytes[u[0]] | firstBytes[u[1]] | firstBytes[u[2]] | firstBytes[u[3]] |
        firstBytes[u[4]] | firstBytes[u[5]] | firstBytes[u[6]] | firstBytes[u[7]])
      break;
    p += 8;
  }
  while (p != stop && !firstBytes[(unsigned char)*p])
    ++p;
  return p;
}

template <class Form> const char *Machine<Form>::fast(const char *start, const char *stop) {
  if (stop - start < minCachedScan || !cacheCapacity)
    return fastStepping(start, stop);
  return fastCached(start, stop);
}

template <class Form>
const char *Machine<Form>::fastStepping(const char *start, const char *stop) {
  form.clear(alive);
  coldp = nullptr;
  const char *p = start;
  int lastc = p == begin ? symOut : int((signed char)p[-1]);
  for (;;) {
    if (canSkip && p != stop && form.isEmpty(alive)) {
      const char *q = skipToFirstByte(p, stop);
      if (q != p) {
        p = q;
        lastc = int((signed char)p[-1]);
      }
    }
    int c = symbolAt(p);
    if (form.isEmpty(alive))
      coldp = p;
    form.assign(st, alive);
    form.unite(st, fresh);
    pseudoSteps(startState, stopState, st, lastc, c);
    if (Form::has(st, stopState) || p == stop)
      break;
    form.clear(alive);
    step(startState, stopState, st, c, alive);
    ++p;
    lastc = c;
  }
  return Form::has(st, stopState) ? p : nullptr;
}

template <class Form>
const char *Machine<Form>::fastCached(const char *start, const char *stop) {
  coldp = nullptr;
  const char *p = start;
  int lastc = p == begin ? symOut : int((signed char)p[-1]);
  int32_t state = coldState(classOf(lastc));
  while (p != stop) {
    if (scanCache.states[size_t(state)].isEmpty) {
      if (canSkip) {
        const char *q = skipToFirstByte(p, stop);
        if (q != p) {
          p = q;
          state = coldState(classOf(int((signed char)p[-1])));
          if (p == stop)
            break;
        }
      }
      coldp = p;
    }
    unsigned char c = (unsigned char)*p;
    int32_t next = scanCache.states[size_t(state)].next[c];
    if (next == unknownTarget)
      next = transition(scanCache, state, c);
    if (next & 1)
      return p;
    state = next >> 1;
    ++p;
  }
  // The last position: the end of the range, with the real following symbol.
  form.fromKey(scanCache.states[size_t(state)].key, st);
  if (form.isEmpty(st))
    coldp = p;
  form.unite(st, fresh);
  lastc = p == begin ? symOut : int((signed char)p[-1]);
  pseudoSteps(startState, stopState, st, lastc, symbolAt(p));
  return Form::has(st, stopState) ? p : nullptr;
}

template <class Form>
const char *Machine<Form>::slow(const char *start, const char *stop, size_t startst,
                                size_t stopst, std::vector<uint64_t> *ends) {
  if (stop - start >= minCachedScan && cacheCapacity)
    return slowCached(start, stop, startst, stopst, ends);
  return slowStepping(start, stop, startst, stopst, ends);
}

template <class Form>
const char *Machine<Form>::slowStepping(const char *start, const char *stop, size_t startst,
                                        size_t stopst, std::vector<uint64_t> *ends) {
  const char *p = start;
  int lastc = p == begin ? symOut : int((signed char)p[-1]);
  form.clear(st);
  Form::add(st, startst);
  form.assign(scratch, st);
  step(startst, stopst, scratch, symNothing, st);
  const char *matchp = nullptr;
  for (;;) {
    int c = symbolAt(p);
    pseudoSteps(startst, stopst, st, lastc, c);
    if (Form::has(st, stopst)) {
      matchp = p;
      if (ends)
        markEnd(*ends, size_t(p - start));
    }
    if (form.equal(st, empty) || p == stop)
      break;
    form.assign(tmp, st);
    form.assign(st, empty);
    step(startst, stopst, tmp, c, st);
    ++p;
    lastc = c;
  }
  return matchp;
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

// As slowStepping, with cached transitions: the leftmost start and the
// splitting into groups run it over the same text from many positions.
template <class Form>
const char *Machine<Form>::slowCached(const char *start, const char *stop, size_t startst,
                                      size_t stopst, std::vector<uint64_t> *ends) {
  Automaton &automaton = extentCache(startst, stopst);
  const char *p = start;
  form.clear(st);
  Form::add(st, startst);
  form.assign(scratch, st);
  step(startst, stopst, scratch, symNothing, st);
  int32_t state = cachedState(automaton, st, classOf(p == begin ? symOut : int((signed char)p[-1])));
  const char *matchp = nullptr;
  // Generations beyond the entry's width are not told apart: no marks then.
  const bool useDeadEnds =
      recordDeadEnds && !ends && automaton.generation < (1u << (32 - deadStateBits));
  for (; p != stop; ++p) {
    if (automaton.states[size_t(state)].isEmpty)
      return matchp;
    if (useDeadEnds) {
      uint32_t here = automaton.generation << deadStateBits | uint32_t(state + 1);
      size_t at = size_t(p - deadEndsBase);
      if (at >= deadEnds.size())
        deadEnds.resize(std::max(at + 1, deadEnds.size() * 2));
      if (deadEnds[at] == here)
        return matchp;
      if (!matchp)
        deadEnds[at] = here; // kept only if this scan fails; then it is dead indeed
    }
    unsigned char c = (unsigned char)*p;
    int32_t next = automaton.states[size_t(state)].next[c];
    if (next == unknownTarget)
      next = transition(automaton, state, c);
    if (next & 1) {
      matchp = p;
      if (ends)
        markEnd(*ends, size_t(p - start));
    }
    state = next >> 1;
  }
  form.fromKey(automaton.states[size_t(state)].key, st);
  pseudoSteps(startst, stopst, st, p == begin ? symOut : int((signed char)p[-1]), symbolAt(p));
  if (Form::has(st, stopst)) {
    matchp = p;
    if (ends)
      markEnd(*ends, size_t(p - start));
  }
  return matchp;
}

// The end of the construct [ss, es) when it starts at sp and the rest of the
// sub-program, es to stopst, must end exactly at stop: the longest such end.
// One scan finds every end the construct can have; they are tried from the
// longest down (rescanning for each would cost the square of the range).
template <class Form>
const char *Machine<Form>::constructExtent(const char *sp, const char *stop, size_t ss,
                                           size_t es, size_t stopst) {
  size_t length = size_t(stop - sp);
  std::vector<uint64_t> ends(length / 64 + 1);
  slow(sp, stop, ss, es, &ends);
  for (size_t word = ends.size(); word-- > 0;) {
    for (uint64_t bits = ends[word]; bits != 0;) {
      unsigned highest = 63 - unsigned(std::countl_zero(bits));
      bits &= ~(uint64_t(1) << highest);
      const char *rest = sp + word * 64 + highest;
      if (slow(rest, stop, es, stopst) == stop)
        return rest;
    }
  }
  return nullptr;
}

template <class Form>
void Machine<Form>::dissect(const char *sp, const char *stop, size_t startst, size_t stopst) {
  size_t es;
  for (size_t ss = startst; ss < stopst; ss = es) {
    es = ss;
    RegexOp op = g.op(ss);
    if (op == RegexOp::PlusStart || op == RegexOp::QuestStart) {
      es += g.operand(es);
    } else if (op == RegexOp::ChoiceStart) {
      while (g.op(es) != RegexOp::ChoiceEnd)
        es += g.operand(es);
    }
    ++es;
    switch (op) {
    case RegexOp::Char:
    case RegexOp::Any:
    case RegexOp::AnyOf:
      ++sp;
      break;
    case RegexOp::LParen:
      groups[g.operand(ss)].start = sp - base;
      break;
    case RegexOp::RParen:
      groups[g.operand(ss)].end = sp - base;
      break;
    case RegexOp::QuestStart: {
      const char *rest = constructExtent(sp, stop, ss, es, stopst);
      if (!rest)
        return; // cannot happen for a range known to match
      if (slow(sp, rest, ss + 1, es - 1) != nullptr)
        dissect(sp, rest, ss + 1, es - 1);
      sp = rest;
      break;
    }
    case RegexOp::PlusStart: {
      const char *rest = constructExtent(sp, stop, ss, es, stopst);
      if (!rest)
        return;
      size_t ssub = ss + 1, esub = es - 1;
      const char *iteration = sp;
      const char *previous = sp;
      const char *iterationEnd;
      for (;;) {
        iterationEnd = slow(iteration, rest, ssub, esub);
        if (!iterationEnd || iterationEnd == iteration)
          break;
        previous = iteration;
        iteration = iterationEnd;
      }
      if (!iterationEnd) {
        iterationEnd = iteration;
        iteration = previous;
      }
      dissect(iteration, iterationEnd, ssub, esub);
      sp = rest;
      break;
    }
    case RegexOp::ChoiceStart: {
      const char *rest = constructExtent(sp, stop, ss, es, stopst);
      if (!rest)
        return;
      size_t ssub = ss + 1;
      size_t esub = ss + g.operand(ss) - 1; // the first branch's Or1
      for (;;) {
        if (slow(sp, rest, ssub, esub) == rest)
          break;
        if (g.op(esub) != RegexOp::Or1)
          return; // no branch fits: cannot happen for a range known to match
        ++esub; // its Or2
        ssub = esub + 1;
        esub += g.operand(esub);
        if (g.op(esub) == RegexOp::Or2)
          --esub;
      }
      dissect(sp, rest, ssub, esub);
      sp = rest;
      break;
    }
    default:
      break;
    }
  }
}

template <class Form> void Machine<Form>::prepareBackrefs() {
  size_t count = g.instructions.size();
  loopLevel.assign(count, 0);
  backrefEnd.assign(count, 0);
  unsigned depth = 0;
  std::vector<size_t> open;
  for (size_t k = 0; k < count; ++k) {
    switch (g.op(k)) {
    case RegexOp::PlusStart:
      loopLevel[k] = ++depth;
      break;
    case RegexOp::PlusEnd:
      loopLevel[k] = depth;
      if (depth > 0)
        --depth;
      break;
    case RegexOp::BackrefStart:
      open.push_back(k);
      break;
    case RegexOp::BackrefEnd:
      if (!open.empty()) {
        backrefEnd[open.back()] = k;
        open.pop_back();
      }
      break;
    default:
      break;
    }
  }
  loopPositions.assign(g.loopDepth + 2, nullptr);
}

template <class Form> bool Machine<Form>::conditionHolds(RegexOp op, const char *sp) const {
  bool bol = lineStartAt(sp);
  bool eol = lineEndAt(sp);
  switch (op) {
  case RegexOp::Bol:
    return bol;
  case RegexOp::Eol:
    return eol;
  case RegexOp::Bow:
    return (bol || (sp != begin && !isWordSymbol(sp[-1]))) && sp != end && isWordSymbol(*sp);
  case RegexOp::Eow:
    return sp != begin && isWordSymbol(sp[-1]) &&
           ((eol && !bol) || (sp != end && !isWordSymbol(*sp)));
  default:
    return false;
  }
}

// Backtracking walk of states [ss, es) that must consume exactly [sp, stop).
// Choice points and undo records live on `trail`; greedy choices come first.
template <class Form>
Outcome Machine<Form>::backref(const char *sp, const char *stop, size_t ss, size_t es) {
  trail.clear();
  size_t pc = ss;
  unsigned empties = 0;
  auto push = [&](Entry entry) {
    if (trail.size() >= maxBacktrackEntries)
      return false;
    trail.push_back(entry);
    return true;
  };
  for (;;) {
    bool ok = true;
    if (pc == es) {
      if (sp == stop)
        return Outcome::Matched;
      ok = false;
    } else {
      RegexWord word = code[pc];
      size_t operand = regexOperandOf(word);
      switch (regexOpOf(word)) {
      case RegexOp::Char:
        ok = sp != stop && (unsigned char)*sp == operand;
        ++sp, ++pc;
        break;
      case RegexOp::Any:
        ok = sp != stop;
        ++sp, ++pc;
        break;
      case RegexOp::AnyOf:
        ok = sp != stop && g.sets[operand].has((unsigned char)*sp);
        ++sp, ++pc;
        break;
      case RegexOp::Bol:
      case RegexOp::Eol:
      case RegexOp::Bow:
      case RegexOp::Eow:
        ok = conditionHolds(regexOpOf(word), sp);
        ++pc;
        break;
      case RegexOp::BackrefStart: {
        const RegexMatchSlot &group = groups[operand];
        if (group.end == -1 || group.start == -1 || group.end < group.start) {
          ok = false;
          break;
        }
        size_t length = size_t(group.end - group.start);
        if (size_t(stop - sp) < length ||
            std::memcmp(sp, base + group.start, length) != 0) {
          ok = false;
          break;
        }
        if (length == 0 && ++empties > maxEmptyBackrefs) {
          ok = false;
          break;
        }
        sp += length;
        pc = backrefEnd[pc] + 1;
        break;
      }
      case RegexOp::QuestStart:
        if (!push({Entry::Resume, pc + operand + 1, sp, 0, empties}))
          return Outcome::OutOfMemory;
        ++pc;
        break;
      case RegexOp::PlusStart: {
        unsigned level = loopLevel[pc];
        if (!push({Entry::LoopPosition, level, loopPositions[level], 0, 0}))
          return Outcome::OutOfMemory;
        loopPositions[level] = sp;
        ++pc;
        break;
      }
      case RegexOp::PlusEnd: {
        unsigned level = loopLevel[pc];
        if (sp == loopPositions[level]) {
          ++pc; // the iteration matched nothing: leave the loop
          break;
        }
        if (!push({Entry::Resume, pc + 1, sp, 0, empties}) ||
            !push({Entry::LoopPosition, level, loopPositions[level], 0, 0}))
          return Outcome::OutOfMemory;
        loopPositions[level] = sp;
        pc = pc - operand + 1;
        break;
      }
      case RegexOp::ChoiceStart:
        if (!push({Entry::Resume, pc + operand, sp, 0, empties}))
          return Outcome::OutOfMemory;
        ++pc;
        break;
      case RegexOp::Or2:
        // Reached only when resuming: the next branch, with the one after it
        // as the new alternative.
        if (g.op(pc + operand) == RegexOp::Or2 &&
            !push({Entry::Resume, pc + operand, sp, 0, empties}))
          return Outcome::OutOfMemory;
        ++pc;
        break;
      case RegexOp::Or1: {
        // A branch succeeded: continue after the whole alternation.
        size_t look = pc + 1;
        while (g.op(look) != RegexOp::ChoiceEnd)
          look += g.operand(look);
        pc = look + 1;
        break;
      }
      case RegexOp::LParen:
        if (!push({Entry::GroupStart, operand, nullptr, groups[operand].start, 0}))
          return Outcome::OutOfMemory;
        groups[operand].start = sp - base;
        ++pc;
        break;
      case RegexOp::RParen:
        if (!push({Entry::GroupEnd, operand, nullptr, groups[operand].end, 0}))
          return Outcome::OutOfMemory;
        groups[operand].end = sp - base;
        ++pc;
        break;
      case RegexOp::QuestEnd:
      case RegexOp::ChoiceEnd:
      case RegexOp::BackrefEnd:
        ++pc;
        break;
      case RegexOp::End:
        ok = false;
        break;
      }
    }
    if (ok)
      continue;
    for (;;) {
      if (trail.empty())
        return Outcome::Failed;
      Entry entry = trail.back();
      trail.pop_back();
      if (entry.kind == Entry::Resume) {
        pc = entry.index;
        sp = entry.sp;
        empties = entry.empties;
        break;
      }
      if (entry.kind == Entry::GroupStart)
        groups[entry.index].start = entry.old;
      else if (entry.kind == Entry::GroupEnd)
        groups[entry.index].end = entry.old;
      else
        loopPositions[entry.index] = entry.sp;
    }
  }
}

template <class Form>
int Machine<Form>::run(size_t slotCount, RegexMatchSlot *slots, const char *firstStart) {
  const char *start = firstStart;
  const char *matchStart = nullptr;
  const char *matchEnd = nullptr;
  groups.assign(g.subExpressionCount + 1, RegexMatchSlot{});
  if (g.hasBackrefs)
    prepareBackrefs();
  for (;;) {
    if (!fast(start, end))
      return regexNoMatch;
    if (slotCount == 0 && !g.hasBackrefs)
      return regexOk;
    // The leftmost start, and the longest end for it.
    for (;;) {
      matchEnd = slow(coldp, end, startState, stopState);
      if (matchEnd)
        break;
      if (coldp == end)
        return regexNoMatch;
      ++coldp;
      // Failed starts may each scan far ahead; the states they passed
      // through stop later scans early.
      if (!recordDeadEnds && cacheCapacity) {
        deadEnds.clear();
        deadEndsBase = coldp;
        recordDeadEnds = true;
      }
    }
    recordDeadEnds = false;
    matchStart = coldp;
    if (slotCount == 1 && !g.hasBackrefs)
      break;
    for (RegexMatchSlot &group : groups)
      group = RegexMatchSlot{};
    if (!g.hasBackrefs) {
      dissect(matchStart, matchEnd, startState, stopState);
      break;
    }
    Outcome outcome = backref(matchStart, matchEnd, startState, stopState);
    while (outcome == Outcome::Failed && matchEnd > matchStart) {
      matchEnd = slow(matchStart, matchEnd - 1, startState, stopState);
      if (!matchEnd)
        break;
      outcome = backref(matchStart, matchEnd, startState, stopState);
    }
    if (outcome == Outcome::OutOfMemory)
      return regexOutOfMemory;
    if (outcome == Outcome::Matched)
      break;
    // A false alarm: the copies of group bodies matched, the references not.
    if (matchStart == end)
      return regexNoMatch;
    start = matchStart + 1;
  }
  if (slotCount == 0)
    return regexOk;
  slots[0].start = matchStart - base;
  slots[0].end = matchEnd - base;
  for (size_t i = 1; i < slotCount; ++i)
    slots[i] = i < groups.size() ? groups[i] : RegexMatchSlot{};
  return regexOk;
}

// True when every match begins with the required literal: the program opens
// with the literal's bytes, with nothing but group openings and closings
// among them.
bool literalStartsEveryMatch(const RegexProgram &g) {
  const std::string &literal = g.requiredLiteral;
  size_t matched = 0;
  for (size_t k = g.firstState + 1; k < g.lastState && matched < literal.size(); ++k) {
    RegexOp op = g.op(k);
    if (op == RegexOp::LParen || op == RegexOp::RParen)
      continue;
    if (op != RegexOp::Char || char(g.operand(k)) != literal[matched])
      return false;
    ++matched;
  }
  return !literal.empty() && matched == literal.size();
}

} // namespace

int matchRegex(const RegexProgram *program, const char *base, size_t startOffset,
               size_t endOffset, size_t slotCount, RegexMatchSlot *slots, RegexStateForm form) {
  if (!program || program->instructions.size() < 2 || (program->internalFlags & regexBroken))
    return regexBadPattern;
  if (endOffset < startOffset)
    return regexBadArgument;
  const char *begin = base + startOffset;
  const char *end = base + endOffset;
  const std::string &literal = program->requiredLiteral;
  const char *firstStart = begin;
  if (!literal.empty()) {
    const void *found = memmem(begin, size_t(end - begin), literal.data(), literal.size());
    if (!found)
      return regexNoMatch;
    if (literalStartsEveryMatch(*program))
      firstStart = static_cast<const char *>(found);
  }
  try {
    if (form == RegexStateForm::Automatic && program->instructions.size() <= 64)
      return Machine<WordForm>(*program, base, begin, end).run(slotCount, slots, firstStart);
    return Machine<ByteForm>(*program, base, begin, end).run(slotCount, slots, firstStart);
  } catch (const std::bad_alloc &) {
    return regexOutOfMemory;
  }
}
