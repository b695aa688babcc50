#ifndef OSTREL_SUPPORT_REGEX_REGEXMACHINE_H
#define OSTREL_SUPPORT_REGEX_REGEXMACHINE_H

/// The match context that the matcher's strategies share, one source file
/// each (RegexMatcher.h says which runs when). Private to support/regex.

#include "support/regex/RegexMatcher.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace ostrel {

/// The search behind matchRegex for one program and state form; a
/// RegexSearchCache keeps it between searches.
class RegexSearchMachine {
public:
  RegexSearchMachine(const RegexProgram &program, RegexStateForm stateForm)
      : searchedProgram(&program), stateForm(stateForm) {}
  virtual ~RegexSearchMachine() = default;
  virtual RegexStatus search(const char *base, const char *begin, const char *end,
                             size_t slotCount, RegexMatchSlot *slots) = 0;
  /// Marks in `lengths` (emptied first) every length of a match from `from`
  /// that ends by `to`, in the subject [begin, end); answers how far the
  /// scan read.
  virtual const char *lengths(const char *begin, const char *end, const char *from,
                              const char *to, std::vector<uint64_t> &lengths) = 0;

  const RegexProgram *const searchedProgram;
  const RegexStateForm stateForm;
};

namespace regex_detail {

/// Input symbols: a real byte is its signed value (-128..127); the rest are
/// pseudo-symbols that only anchors and word boundaries react to.
enum Symbol : int {
  symOut = 128, // before the first or after the last byte
  symBol = 129,
  symEol = 130,
  symBolEol = 131,
  symNothing = 132,
  symBow = 133,
  symEow = 134,
};

inline bool isWordSymbol(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

/// Sets the bit of `offset` in a bit-per-position list of match ends, which
/// grows as far as the ends go.
inline void markEnd(std::vector<uint64_t> &ends, size_t offset) {
  if ((offset >> 6) >= ends.size())
    ends.resize((offset >> 6) + 1, 0);
  ends[offset >> 6] |= uint64_t(1) << (offset & 63);
}

// The backtracking walk keeps its choice points on the heap; past this many
// entries it gives up with "out of memory" rather than grow without bound.
constexpr size_t maxBacktrackEntries = size_t(1) << 22;

// Empty back-reference matches allowed along one path of the walk.
constexpr unsigned maxEmptyBackrefs = 100;

// A cached automaton is bounded: when full it starts afresh, so memory does
// not depend on the subject nor on the number of searches. Without a search
// cache, short ranges are stepped directly, where building the automaton
// would cost more than it saves.
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
  static bool has(const Set &set, size_t state) { return (set >> state) & 1; }
  static void add(Set &set, size_t state) { set |= uint64_t(1) << state; }
  static void assign(Set &to, const Set &from) { to = from; }
  static bool equal(const Set &a, const Set &b) { return a == b; }
  static void clear(Set &set) { set = 0; }
  static void unite(Set &to, const Set &from) { to |= from; }
  static bool isEmpty(const Set &set) { return set == 0; }
  void toKey(const Set &set, std::string &key) const {
    key.assign(reinterpret_cast<const char *>(&set), sizeof set);
  }
  void fromKey(const std::string &key, Set &set) const {
    std::memcpy(&set, key.data(), sizeof set);
  }
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
    Set set = storage.data() + used * states;
    ++used;
    return set;
  }
  static bool has(const Set &set, size_t state) { return set[state] != 0; }
  static void add(Set &set, size_t state) { set[state] = 1; }
  void assign(Set &to, const Set &from) const { std::memcpy(to, from, states); }
  bool equal(const Set &a, const Set &b) const { return std::memcmp(a, b, states) == 0; }
  void clear(Set &set) const { std::memset(set, 0, states); }
  void unite(Set &to, const Set &from) const {
    for (size_t state = 0; state < states; ++state)
      to[state] |= from[state];
  }
  bool isEmpty(const Set &set) const {
    for (size_t state = 0; state < states; ++state)
      if (set[state])
        return false;
    return true;
  }
  void toKey(const Set &set, std::string &key) const {
    key.assign(reinterpret_cast<const char *>(set), states);
  }
  void fromKey(const std::string &key, Set &set) const { std::memcpy(set, key.data(), states); }
};

enum class WalkOutcome { Matched, Failed, OutOfMemory };
enum class WalkStep { Advanced, Failed, OutOfMemory };

/// Facts about a program that do not depend on how state sets are held.
struct ProgramFacts {
  explicit ProgramFacts(const RegexProgram &program);

  size_t startState;
  size_t stopState;
  bool hasWordBoundaries = false;
  /// Whether the anchor and word-boundary steps can tell bytes apart: the
  /// context class of the byte before a position matters then.
  bool contextMatters = false;
  /// Bytes that every instruction treats alike share a class; cached
  /// transitions are kept per class, not per byte.
  uint8_t byteClassOf[256] = {};
  unsigned classCount = 0;
  /// For each Or1 (the end of a branch), its ChoiceEnd; empty when the
  /// program has no alternation.
  bool hasChoices = false;
  std::vector<uint32_t> choiceEndOf;
  /// Per state, the first state at or after it that opens or closes a
  /// group, and the first that is neither that nor a zero-width anchor.
  /// Found by findGroupMarks before the first split into groups.
  std::vector<uint32_t> nextGroupMark;
  std::vector<uint32_t> nextNonMarker;
  void findGroupMarks(const RegexProgram &program);
  /// No instruction consumes a line feed: every match lies within a line.
  bool lineConfined = true;
  /// Every match begins with the required literal.
  bool literalStartsEveryMatch = false;
  /// For the back-reference walk: the loop nesting level of each loop
  /// instruction, and the BackrefEnd of each BackrefStart.
  std::vector<unsigned> loopLevel;
  std::vector<size_t> backrefEnd;
};

template <class Form> class Machine final : public RegexSearchMachine {
public:
  using Set = typename Form::Set;

  /// `persistent`: the machine serves many searches, so the cached automata
  /// pay even on short ranges.
  Machine(const RegexProgram &program, RegexStateForm stateForm, bool persistent);

  RegexStatus search(const char *base, const char *begin, const char *end, size_t slotCount,
                     RegexMatchSlot *slots) override;
  const char *lengths(const char *begin, const char *end, const char *from, const char *to,
                      std::vector<uint64_t> &lengths) override;

private:
  const RegexProgram &program;
  const RegexWord *code;
  ProgramFacts facts;
  Form setOps;
  bool newlineSensitive;
  bool persistent;
  size_t startState = 0, stopState = 0;
  Set current{}, fresh{}, tmp{}, empty{}, scratch{};
  // The scan for the first match end keeps apart the states of matches that
  // began before the current position: where there are none, the position
  // is cold, and the leftmost match cannot begin earlier. (The whole set
  // being equal to the fresh states is not enough: an earlier match may sit
  // in states that the fresh set happens to hold too.)
  Set alive{};

  // The subject of the current search.
  const char *base = nullptr;
  const char *begin = nullptr;
  const char *end = nullptr;
  const char *coldPos = nullptr;
  const char *slowReached = nullptr;
  std::vector<RegexMatchSlot> groups;

  // Bytes that can begin a match, when a fresh state set only waits for a
  // byte: positions holding none of them cannot start a match and are skipped.
  bool canSkip = false;
  int onlyFirstByte = -1;
  uint8_t firstBytes[256] = {};

  RegexStatus searchWindow(const char *windowStart, const char *windowEnd, size_t slotCount,
                           const char *&matchStart, const char *&matchEnd);
  void fillSlots(size_t slotCount, RegexMatchSlot *slots, const char *matchStart,
                 const char *matchEnd) const;

  // State-set stepping (RegexStateStepping.cpp).
  int symbolAt(const char *pos) const { return pos == end ? symOut : int((signed char)*pos); }
  int symbolBefore(const char *pos) const {
    return pos == begin ? symOut : int((signed char)pos[-1]);
  }
  void step(size_t first, size_t last, const Set &before, int symbol, Set &after);
  void pseudoSteps(size_t first, size_t last, Set &set, int lastSymbol, int symbol);
  void prepareSkipping();
  const char *skipToFirstByte(const char *pos, const char *stop) const;
  const char *fastStepping(const char *start, const char *stop);
  const char *slowStepping(const char *start, const char *stop, size_t firstState,
                           size_t lastState, std::vector<uint64_t> *ends);

  // The cached automata (RegexCachedAutomaton.cpp). A cached state is a state
  // set at some position before the anchor steps, together with the context
  // class of the byte before that position (all that the anchor and word
  // boundary steps look at). Its transition on a byte class is (next state
  // << 1) | (a match ends before the byte). The scan for the first match end
  // caches the states alive from matches begun earlier, joining in the fresh
  // states at every byte; the search for the longest match caches plain sets.
  static constexpr int32_t unknownTarget = -1;
  struct CachedState {
    std::string key;
    int contextClass;
    bool isEmpty;
  };
  struct Automaton {
    bool joinFresh;
    size_t first, last; // the sub-program [first, last) it runs
    std::vector<CachedState> states;
    std::vector<int32_t> next; // states.size() * classCount transitions
    std::unordered_map<std::string, int32_t> index;
    // Per context class, the empty set and the set a scan starts from.
    int32_t emptyStates[4] = {-1, -1, -1, -1};
    int32_t startStates[4] = {-1, -1, -1, -1};
    uint32_t generation = 0; // counts the times the cache started afresh
  };
  Automaton scanCache;
  // Longest-match searches, one automaton per sub-program asked for (the
  // search for the leftmost start, and the splitting into groups, which
  // asks about the same constructs from many positions).
  std::vector<std::unique_ptr<Automaton>> extentCaches;
  std::string keyBuffer;
  size_t cacheCapacity = 0; // cached states per automaton; 0: no caching
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

  // Whether this search scans with the cached automata: decided once for
  // the whole subject, which may be searched in many short windows.
  bool useCache = false;
  int contextClassOf(int symbol) const;
  int32_t cachedState(Automaton &automaton, const Set &set, int contextClass);
  int32_t coldState(int contextClass);
  int32_t transition(Automaton &automaton, int32_t state, unsigned char byte);
  Automaton &extentCache(size_t first, size_t last);
  const char *fastCached(const char *start, const char *stop);
  const char *slowCached(const char *start, const char *stop, size_t firstState,
                         size_t lastState, std::vector<uint64_t> *ends);

  /// Where a match can end first from `start` on (nullptr: nowhere before
  /// `stop`); sets coldPos.
  const char *fast(const char *start, const char *stop) {
    return useCache ? fastCached(start, stop) : fastStepping(start, stop);
  }
  /// The longest end of a match of states [firstState, lastState) from
  /// `start` within `stop`; with `ends` (a bit per position from `start` on),
  /// the bit of every possible end is set. Leaves in
  /// slowReached the position where the scan stopped.
  const char *slow(const char *start, const char *stop, size_t firstState, size_t lastState,
                   std::vector<uint64_t> *ends = nullptr) {
    return useCache ? slowCached(start, stop, firstState, lastState, ends)
                    : slowStepping(start, stop, firstState, lastState, ends);
  }

  // Splitting a match among the groups (RegexGroupSplit.cpp).
  void dissect(const char *subjectPos, const char *stop, size_t firstState, size_t lastState);
  const char *constructExtent(const char *subjectPos, const char *stop, size_t constructStart,
                              size_t constructEnd, size_t lastState);
  bool markersOnlyFrom(size_t state, size_t lastState, const char *stop);

  // The back-reference walk (RegexBackrefWalk.cpp).
  struct TrailEntry {
    enum Kind : uint8_t { Resume, GroupStart, GroupEnd, LoopPosition } kind;
    size_t index;            // resume state, group or loop level
    const char *subjectPos;  // resume position, or the old loop position
    ptrdiff_t oldOffset;     // old group offset
    unsigned emptyBackrefs;  // empty back-references so far on the resumed path
  };
  struct WalkPosition {
    size_t state;
    const char *subjectPos;
    unsigned emptyBackrefs;
  };
  std::vector<TrailEntry> trail;
  std::vector<const char *> loopPositions;
  bool lineStartAt(const char *pos) const {
    return pos == begin || (newlineSensitive && pos[-1] == '\n');
  }
  bool lineEndAt(const char *pos) const { return pos == end || (newlineSensitive && *pos == '\n'); }
  bool conditionHolds(RegexOp op, const char *pos) const;
  bool push(const TrailEntry &entry);
  bool matchBackref(WalkPosition &walk, size_t group, const char *stop);
  WalkStep walkInstruction(WalkPosition &walk, const char *stop);
  bool resumeFromTrail(WalkPosition &walk);
  WalkOutcome backref(const char *start, const char *stop, size_t firstState, size_t lastState);
};

} // namespace regex_detail

} // namespace ostrel

#endif
