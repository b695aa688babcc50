#include "support/regex/RegexMatcher.h"

#include "support/regex/RegexMachine.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>

namespace ostrel {
#endif

namespace regex_detail {

namespace {

bool isGroupMark(RegexOp op) { return op == RegexOp::LParen || op == RegexOp::RParen; }

bool isMarker(RegexOp op) {
  switch (op) {
  case RegexOp::LParen:
  case RegexOp::RParen:
  case RegexOp::Bol:
  case RegexOp::Eol:
  case RegexOp::Bow:
  case RegexOp::Eow:
    return true;
  default:
    return false;
  }
}

// Splits every byte class into its members inside and outside `inside`.
template <class Inside>
void refineClasses(uint8_t (&classOf)[256], unsigned &classCount, Inside inside) {
  int renamed[512];
  std::fill(std::begin(renamed), std::end(renamed), -1);
  unsigned count = 0;
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned key = unsigned(classOf[byte]) * 2 + (inside((unsigned char)byte) ? 1 : 0);
    if (renamed[key] < 0)
      renamed[key] = int(count++);
    classOf[byte] = uint8_t(renamed[key]);
  }
  classCount = count;
}

// True when every match begins with the required literal: the program opens
// with the literal's bytes, with nothing but group openings and closings
// among them.
bool literalStartsEveryMatch(const RegexProgram &program) {
  const std::string &literal = program.requiredLiteral;
  size_t matched = 0;
  for (size_t state = program.firstState + 1;
       state < program.lastState && matched < literal.size(); ++state) {
    RegexOp op = program.op(state);
    if (isGroupMark(op))
      continue;
    if (op != RegexOp::Char || char(program.operand(state)) != literal[matched])
      return false;
    ++matched;
  }
  return !literal.empty() && matched == literal.size();
}

// The first occurrence of `literal` in [from, to), or nullptr. Sixteen
// candidate starts at a time are filtered by the literal's first and last
// bytes; a search that finds the literal within a line or two thus costs a
// few instructions, where the general library search pays a set-up per call.
const char *findLiteral(const char *from, const char *to, const std::string &literal) {
  size_t length = literal.size();
  if (size_t(to - from) < length)
    return nullptr;
  const char *pos = from;
#ifdef __SSE2__
  if (length >= 2) {
    const char *lastStart = to - length;
    const __m128i first = _mm_set1_epi8(literal[0]);
    const __m128i last = _mm_set1_epi8(literal[length - 1]);
    for (; lastStart - pos >= 15; pos += 16) {
      __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pos));
      __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pos + length - 1));
      unsigned candidates = unsigned(_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
      for (; candidates != 0; candidates &= candidates - 1) {
        const char *candidate = pos + std::countr_zero(candidates);
        size_t inner = 1;
        while (inner < length - 1 && candidate[inner] == literal[inner])
          ++inner;
        if (inner >= length - 1)
          return candidate;
      }
    }
  }
#endif
  const void *found = memmem(pos, size_t(to - pos), literal.data(), length);
  return static_cast<const char *>(found);
}

} // namespace

ProgramFacts::ProgramFacts(const RegexProgram &program)
    : startState(program.firstState + 1), stopState(program.lastState) {
  size_t count = program.instructions.size();
  bool literalByte[256] = {};
  for (size_t state = startState; state < stopState; ++state) {
    switch (program.op(state)) {
    case RegexOp::Bow:
    case RegexOp::Eow:
      hasWordBoundaries = true;
      break;
    case RegexOp::Char:
      literalByte[program.operand(state) & 0xff] = true;
      break;
    case RegexOp::Any:
      lineConfined = false;
      break;
    case RegexOp::ChoiceStart:
      hasChoices = true;
      break;
    case RegexOp::AnyOf:
      if (program.sets[program.operand(state)].has('\n'))
        lineConfined = false;
      break;
    default:
      break;
    }
  }
  if (literalByte['\n'])
    lineConfined = false;
  contextMatters = hasWordBoundaries || program.startAnchors != 0 || program.endAnchors != 0;

  classCount = 1;
  for (unsigned byte = 0; byte < 256; ++byte)
    if (literalByte[byte])
      refineClasses(byteClassOf, classCount, [byte](unsigned char c) { return c == byte; });
  for (const CharSet &set : program.sets)
    refineClasses(byteClassOf, classCount, [&set](unsigned char c) { return set.has(c); });
  if (contextMatters) {
    refineClasses(byteClassOf, classCount, [](unsigned char c) { return c == '\n'; });
    refineClasses(byteClassOf, classCount, [](unsigned char c) { return isWordSymbol(c); });
  }

  // Walked from the end, so that each Or2 finds its ChoiceEnd through the
  // next Or2 in one step: a wide alternation costs its length, not its square.
  if (hasChoices) {
    choiceEndOf.assign(count, 0);
    for (size_t state = count; state-- > 0;) {
      RegexOp op = program.op(state);
      if (op == RegexOp::Or2) {
        size_t next = state + program.operand(state);
        choiceEndOf[state] =
            program.op(next) == RegexOp::ChoiceEnd ? uint32_t(next) : choiceEndOf[next];
      } else if (op == RegexOp::Or1) {
        choiceEndOf[state] = choiceEndOf[state + 1];
      }
    }
  }
  literalStartsEveryMatch = regex_detail::literalStartsEveryMatch(program);

  if (!program.hasBackrefs)
    return;
  loopLevel.assign(count, 0);
  backrefEnd.assign(count, 0);
  unsigned depth = 0;
  std::vector<size_t> open;
  for (size_t state = 0; state < count; ++state) {
    switch (program.op(state)) {
    case RegexOp::PlusStart:
      loopLevel[state] = ++depth;
      break;
    case RegexOp::PlusEnd:
      loopLevel[state] = depth;
      if (depth > 0)
        --depth;
      break;
    case RegexOp::BackrefStart:
      open.push_back(state);
      break;
    case RegexOp::BackrefEnd:
      if (!open.empty()) {
        backrefEnd[open.back()] = state;
        open.pop_back();
      }
      break;
    default:
      break;
    }
  }
}

void ProgramFacts::findGroupMarks(const RegexProgram &program) {
  size_t count = program.instructions.size();
  nextGroupMark.assign(count + 1, uint32_t(count));
  nextNonMarker.assign(count + 1, uint32_t(count));
  for (size_t state = count; state-- > 0;) {
    RegexOp op = program.op(state);
    nextGroupMark[state] = isGroupMark(op) ? uint32_t(state) : nextGroupMark[state + 1];
    nextNonMarker[state] = isMarker(op) ? nextNonMarker[state + 1] : uint32_t(state);
  }
}

template <class Form>
Machine<Form>::Machine(const RegexProgram &program, RegexStateForm stateForm, bool persistent)
    : RegexSearchMachine(program, stateForm), program(program), code(program.instructions.data()),
      facts(program), setOps(program.instructions.size()),
      newlineSensitive(program.compileFlags & regexNewline), persistent(persistent) {
  for (Set *set : {&current, &fresh, &tmp, &empty, &scratch, &alive}) {
    *set = setOps.make();
    setOps.clear(*set);
  }
  startState = facts.startState;
  stopState = facts.stopState;
  Form::add(fresh, startState);
  step(startState, stopState, fresh, symNothing, fresh);
  prepareSkipping();
  size_t count = program.instructions.size();
  if (count <= maxCachedProgram)
    cacheCapacity = std::min(maxCachedStates,
                             maxCachedBytes / (sizeof(CachedState) + count + 64 +
                                               facts.classCount * sizeof(int32_t)));
  scanCache.joinFresh = true;
  scanCache.first = startState;
  scanCache.last = stopState;
  if (program.hasBackrefs)
    loopPositions.assign(program.loopDepth + 2, nullptr);
}

template <class Form>
RegexStatus Machine<Form>::search(const char *base, const char *begin, const char *end,
                                  size_t slotCount, RegexMatchSlot *slots) {
  this->base = base;
  this->begin = begin;
  this->end = end;
  useCache = cacheCapacity && (persistent || end - begin >= minCachedScan);
  groups.assign(program.subExpressionCount + 1, RegexMatchSlot{});
  const std::string &literal = program.requiredLiteral;
  const char *searchFrom = begin;
  for (;;) {
    const char *windowStart = searchFrom;
    const char *windowEnd = end;
    if (!literal.empty()) {
      const char *literalPos = findLiteral(searchFrom, end, literal);
      if (!literalPos)
        return regexNoMatch;
      if (facts.literalStartsEveryMatch) {
        windowStart = literalPos;
      } else if (facts.lineConfined) {
        const void *lineFeed = memrchr(searchFrom, '\n', size_t(literalPos - searchFrom));
        if (lineFeed)
          windowStart = static_cast<const char *>(lineFeed) + 1;
      }
      // A match within one line contains the literal in that line; lines
      // without it are passed over at the speed of the literal search.
      if (facts.lineConfined) {
        const char *afterLiteral = literalPos + literal.size();
        const void *lineFeed = std::memchr(afterLiteral, '\n', size_t(end - afterLiteral));
        if (lineFeed)
          windowEnd = static_cast<const char *>(lineFeed);
      }
    }
    const char *matchStart = nullptr;
    const char *matchEnd = nullptr;
    RegexStatus status = searchWindow(windowStart, windowEnd, slotCount, matchStart, matchEnd);
    if (status == regexOk)
      fillSlots(slotCount, slots, matchStart, matchEnd);
    if (status != regexNoMatch || windowEnd == end)
      return status;
    searchFrom = windowEnd + 1;
  }
}

template <class Form>
const char *Machine<Form>::lengths(const char *begin, const char *end, const char *from,
                                   const char *to, std::vector<uint64_t> &lengths) {
  this->base = begin;
  this->begin = begin;
  this->end = end;
  useCache = cacheCapacity && (persistent || to - from >= minCachedScan);
  recordDeadEnds = false;
  lengths.clear();
  slow(from, to, startState, stopState, &lengths);
  return slowReached;
}

// The leftmost-longest match that starts in [windowStart, windowEnd) and
// ends by windowEnd, with its groups when slots for them are wanted.
template <class Form>
RegexStatus Machine<Form>::searchWindow(const char *windowStart, const char *windowEnd,
                                        size_t slotCount, const char *&matchStart,
                                        const char *&matchEnd) {
  recordDeadEnds = false;
  const char *start = windowStart;
  for (;;) {
    if (!fast(start, windowEnd))
      return regexNoMatch;
    if (slotCount == 0 && !program.hasBackrefs)
      return regexOk;
    // The leftmost start, and the longest end for it.
    for (;;) {
      matchEnd = slow(coldPos, windowEnd, startState, stopState);
      if (matchEnd)
        break;
      if (coldPos == windowEnd)
        return regexNoMatch;
      ++coldPos;
      // Failed starts may each scan far ahead; the states they passed
      // through stop later scans early.
      if (!recordDeadEnds && cacheCapacity) {
        deadEnds.clear();
        deadEndsBase = coldPos;
        recordDeadEnds = true;
      }
    }
    recordDeadEnds = false;
    matchStart = coldPos;
    if (slotCount == 1 && !program.hasBackrefs)
      return regexOk;
    for (RegexMatchSlot &group : groups)
      group = RegexMatchSlot{};
    if (!program.hasBackrefs) {
      if (facts.nextGroupMark.empty())
        facts.findGroupMarks(program);
      dissect(matchStart, matchEnd, startState, stopState);
      return regexOk;
    }
    WalkOutcome outcome = backref(matchStart, matchEnd, startState, stopState);
    while (outcome == WalkOutcome::Failed && matchEnd > matchStart) {
      matchEnd = slow(matchStart, matchEnd - 1, startState, stopState);
      if (!matchEnd)
        break;
      outcome = backref(matchStart, matchEnd, startState, stopState);
    }
    if (outcome == WalkOutcome::OutOfMemory)
      return regexOutOfMemory;
    if (outcome == WalkOutcome::Matched)
      return regexOk;
    // A false alarm: the copies of group bodies matched, the references not.
    if (matchStart == windowEnd)
      return regexNoMatch;
    start = matchStart + 1;
  }
}

template <class Form>
void Machine<Form>::fillSlots(size_t slotCount, RegexMatchSlot *slots, const char *matchStart,
                              const char *matchEnd) const {
  if (slotCount == 0)
    return;
  slots[0].start = matchStart - base;
  slots[0].end = matchEnd - base;
  for (size_t slot = 1; slot < slotCount; ++slot)
    slots[slot] = slot < groups.size() ? groups[slot] : RegexMatchSlot{};
}

template class Machine<WordForm>;
template class Machine<ByteForm>;

} // namespace regex_detail

RegexSearchCache::RegexSearchCache() = default;
RegexSearchCache::~RegexSearchCache() = default;

namespace {

bool validProgram(const RegexProgram *program) {
  return program && program->instructions.size() >= 2 && !(program->internalFlags & regexBroken);
}

// Runs `use` with the machine that `cache` keeps for `program`, or with one
// made for this call (kept in the cache when there is one). Answers what
// `use` answers, or `outOfMemory` when memory ran out.
template <class Use, class Answer>
Answer withMachine(const RegexProgram *program, RegexStateForm form, RegexSearchCache *cache,
                   std::unique_ptr<RegexSearchMachine> &cached, Use use,
                   Answer outOfMemory) {
  using namespace regex_detail;
  RegexSearchMachine *machine =
      cached && cached->searchedProgram == program && cached->stateForm == form ? cached.get()
                                                                                : nullptr;
  try {
    std::unique_ptr<RegexSearchMachine> made;
    if (!machine) {
      if (form == RegexStateForm::Automatic && program->instructions.size() <= 64)
        made = std::make_unique<Machine<WordForm>>(*program, form, cache != nullptr);
      else
        made = std::make_unique<Machine<ByteForm>>(*program, form, cache != nullptr);
      machine = made.get();
      if (cache)
        cached = std::move(made);
    }
    return use(*machine);
  } catch (const std::bad_alloc &) {
    // A machine left half-updated is not kept.
    if (cache)
      cached.reset();
    return outOfMemory;
  }
}

} // namespace

RegexStatus matchRegex(const RegexProgram *program, const char *base, size_t startOffset,
                       size_t endOffset, size_t slotCount, RegexMatchSlot *slots,
                       RegexStateForm form, RegexSearchCache *cache) {
  using namespace regex_detail;
  if (!validProgram(program))
    return regexBadPattern;
  if (endOffset < startOffset)
    return regexBadArgument;
  const char *begin = base + startOffset;
  const char *end = base + endOffset;
  std::unique_ptr<RegexSearchMachine> none;
  std::unique_ptr<RegexSearchMachine> &cached = cache ? cache->machine : none;
  const std::string &literal = program->requiredLiteral;
  // Without a machine yet, a subject lacking the literal costs no set-up.
  if (!cached && !literal.empty() && !findLiteral(begin, end, literal))
    return regexNoMatch;
  return withMachine(
      program, form, cache, cached,
      [&](RegexSearchMachine &machine) {
        return machine.search(base, begin, end, slotCount, slots);
      },
      regexOutOfMemory);
}

RegexStatus matchRegexLengths(const RegexProgram *program, const char *begin, const char *end,
                              size_t from, size_t to, std::vector<uint64_t> &lengths,
                              size_t &scanned, RegexSearchCache *cache) {
  using namespace regex_detail;
  scanned = 0;
  if (!validProgram(program))
    return regexBadPattern;
  if (program->hasBackrefs || to < from || begin + to > end)
    return regexBadArgument;
  std::unique_ptr<RegexSearchMachine> none;
  std::unique_ptr<RegexSearchMachine> &cached = cache ? cache->machine : none;
  const char *reached = withMachine(
      program, RegexStateForm::Automatic, cache, cached,
      [&](RegexSearchMachine &machine) {
        return machine.lengths(begin, end, begin + from, begin + to, lengths);
      },
      static_cast<const char *>(nullptr));
  if (!reached)
    return regexOutOfMemory;
  scanned = size_t(reached - (begin + from));
  for (uint64_t word : lengths)
    if (word)
      return regexOk;
  return regexNoMatch;
}

} // namespace ostrel
