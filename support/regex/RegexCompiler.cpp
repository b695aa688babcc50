#include "support/regex/RegexCompiler.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ostrel {

namespace {

// Limits that keep hostile patterns from exhausting the stack or memory:
// groups nest at most this deep, and a program holds at most this many words
// (operands are 27 bits wide, and counted repetition multiplies sizes).
constexpr unsigned maxGroupNesting = 1000;
constexpr size_t maxProgramWords = size_t(1) << 22;

constexpr size_t noPosition = size_t(-1);

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isUpper(int c) { return c >= 'A' && c <= 'Z'; }
bool isLower(int c) { return c >= 'a' && c <= 'z'; }
bool isAlpha(int c) { return isUpper(c) || isLower(c); }

int otherCase(int c) {
  if (isUpper(c))
    return c - 'A' + 'a';
  if (isLower(c))
    return c - 'a' + 'A';
  return c;
}

struct ClassEntry {
  const char *name;
  bool (*member)(int c);
};

bool isPunct(int c) {
  return (c >= 0x21 && c <= 0x2f) || (c >= 0x3a && c <= 0x40) || (c >= 0x5b && c <= 0x60) ||
         (c >= 0x7b && c <= 0x7e);
}

const ClassEntry characterClasses[] = {
    {"alnum", [](int c) { return isAlpha(c) || isDigit(c); }},
    {"alpha", [](int c) { return isAlpha(c); }},
    {"blank", [](int c) { return c == ' ' || c == '\t'; }},
    {"cntrl", [](int c) { return (c >= 1 && c <= 31) || c == 127; }},
    {"digit", [](int c) { return isDigit(c); }},
    {"graph", [](int c) { return isAlpha(c) || isDigit(c) || isPunct(c); }},
    {"lower", [](int c) { return isLower(c); }},
    {"print", [](int c) { return isAlpha(c) || isDigit(c) || isPunct(c) || c == ' '; }},
    {"punct", [](int c) { return isPunct(c); }},
    {"space", [](int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }},
    {"upper", [](int c) { return isUpper(c); }},
    {"xdigit", [](int c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }},
};

struct CollatingName {
  const char *name;
  unsigned char byte;
};

const CollatingName collatingNames[] = {
    {"NUL", 0x00}, {"SOH", 0x01}, {"STX", 0x02}, {"ETX", 0x03}, {"EOT", 0x04}, {"ENQ", 0x05},
    {"ACK", 0x06}, {"BEL", 0x07}, {"alert", 0x07}, {"BS", 0x08}, {"backspace", 0x08},
    {"HT", 0x09}, {"tab", 0x09}, {"LF", 0x0a}, {"newline", 0x0a}, {"VT", 0x0b},
    {"vertical-tab", 0x0b}, {"FF", 0x0c}, {"form-feed", 0x0c}, {"CR", 0x0d},
    {"carriage-return", 0x0d}, {"SO", 0x0e}, {"SI", 0x0f}, {"DLE", 0x10}, {"DC1", 0x11},
    {"DC2", 0x12}, {"DC3", 0x13}, {"DC4", 0x14}, {"NAK", 0x15}, {"SYN", 0x16}, {"ETB", 0x17},
    {"CAN", 0x18}, {"EM", 0x19}, {"SUB", 0x1a}, {"ESC", 0x1b}, {"IS4", 0x1c}, {"FS", 0x1c},
    {"IS3", 0x1d}, {"GS", 0x1d}, {"IS2", 0x1e}, {"RS", 0x1e}, {"IS1", 0x1f}, {"US", 0x1f},
    {"space", 0x20}, {"exclamation-mark", 0x21}, {"quotation-mark", 0x22},
    {"number-sign", 0x23}, {"dollar-sign", 0x24}, {"percent-sign", 0x25}, {"ampersand", 0x26},
    {"apostrophe", 0x27}, {"left-parenthesis", 0x28}, {"right-parenthesis", 0x29},
    {"asterisk", 0x2a}, {"plus-sign", 0x2b}, {"comma", 0x2c}, {"hyphen", 0x2d},
    {"hyphen-minus", 0x2d}, {"period", 0x2e}, {"full-stop", 0x2e}, {"slash", 0x2f},
    {"solidus", 0x2f}, {"zero", 0x30}, {"one", 0x31}, {"two", 0x32}, {"three", 0x33},
    {"four", 0x34}, {"five", 0x35}, {"six", 0x36}, {"seven", 0x37}, {"eight", 0x38},
    {"nine", 0x39}, {"colon", 0x3a}, {"semicolon", 0x3b}, {"less-than-sign", 0x3c},
    {"equals-sign", 0x3d}, {"greater-than-sign", 0x3e}, {"question-mark", 0x3f},
    {"commercial-at", 0x40}, {"left-square-bracket", 0x5b}, {"backslash", 0x5c},
    {"reverse-solidus", 0x5c}, {"right-square-bracket", 0x5d}, {"circumflex", 0x5e},
    {"circumflex-accent", 0x5e}, {"underscore", 0x5f}, {"low-line", 0x5f},
    {"grave-accent", 0x60}, {"left-brace", 0x7b}, {"left-curly-bracket", 0x7b},
    {"vertical-line", 0x7c}, {"right-brace", 0x7d}, {"right-curly-bracket", 0x7d},
    {"tilde", 0x7e}, {"DEL", 0x7f},
};
static_assert(sizeof(collatingNames) / sizeof(collatingNames[0]) == 95);

const char *const errorMessages[] = {
    "",
    "varnix_regexec() failed to match",
    "invalid regular expression",
    "invalid collating element",
    "invalid character class",
    "trailing backslash (\\)",
    "invalid backreference number",
    "brackets ([ ]) not balanced",
    "parentheses not balanced",
    "braces not balanced",
    "invalid repetition count(s)",
    "invalid character range",
    "out of memory",
    "repetition-operator operand invalid",
    "empty (sub)expression",
    "\"can't happen\" -- you found a bug",
    "invalid argument to regex routine",
};

constexpr int unboundedCount = 256;

class Parser {
public:
  Parser(RegexProgram &program, const char *start, const char *end)
      : g(program), next(start), end(end) {
    size_t length = size_t(end - start);
    size_t room = std::min(length / 2 * 3 + 1, maxProgramWords);
    g.instructions.reserve(room);
    std::fill(std::begin(groupStart), std::end(groupStart), noPosition);
    std::fill(std::begin(groupEnd), std::end(groupEnd), noPosition);
  }

  RegexStatus compile();

private:
  RegexProgram &g;
  const char *next;
  const char *end;
  RegexStatus error = regexOk;
  unsigned nesting = 0;
  size_t groupStart[10];
  size_t groupEnd[10];

  std::vector<RegexWord> &code() { return g.instructions; }
  size_t here() const { return g.instructions.size(); }

  bool more() const { return next < end; }
  bool more2() const { return end - next >= 2; }
  int peek() const { return (unsigned char)*next; }
  int peek2() const { return (unsigned char)next[1]; }
  bool see(int c) const { return more() && peek() == c; }
  bool seeTwo(int a, int b) const { return more2() && peek() == a && peek2() == b; }
  bool eat(int c) {
    if (!see(c))
      return false;
    ++next;
    return true;
  }
  bool eatTwo(int a, int b) {
    if (!seeTwo(a, b))
      return false;
    next += 2;
    return true;
  }
  int getNext() { return (unsigned char)*next++; }

  // The first error wins; afterwards the rest of the pattern looks empty so
  // every parsing loop winds down, and emitting does nothing.
  void setError(RegexStatus code) {
    if (error == regexOk)
      error = code;
    next = end;
  }
  bool require(bool condition, RegexStatus code) {
    if (!condition)
      setError(code);
    return condition;
  }

  bool makeRoom() {
    if (here() >= maxProgramWords) {
      setError(regexOutOfMemory);
      return false;
    }
    if (here() == code().capacity())
      code().reserve(std::min((code().capacity() + 1) / 2 * 3, maxProgramWords));
    return true;
  }
  void emit(RegexOp op, size_t operand = 0) {
    if (error || !makeRoom())
      return;
    code().push_back(makeRegexWord(op, operand));
  }
  void insert(RegexOp op, size_t pos) {
    if (error || !makeRoom())
      return;
    code().insert(code().begin() + ptrdiff_t(pos), makeRegexWord(op, 0));
    for (int i = 1; i <= 9; ++i) {
      if (groupStart[i] != noPosition && groupStart[i] >= pos)
        ++groupStart[i];
      if (groupEnd[i] != noPosition && groupEnd[i] >= pos)
        ++groupEnd[i];
    }
  }
  void setOperand(size_t pos, size_t operand) {
    if (error)
      return;
    code()[pos] = makeRegexWord(regexOpOf(code()[pos]), operand);
  }
  // Emits `op` pointing back to `pos`.
  void emitBack(RegexOp op, size_t pos) { emit(op, here() - pos); }
  // Makes the word at `pos` point forward to the next word to be emitted.
  void pointHere(size_t pos) { setOperand(pos, here() - pos); }
  // Appends a copy of words [from, to); answers where the copy starts.
  size_t duplicate(size_t from, size_t to) {
    size_t at = here();
    for (size_t i = from; i < to && !error; ++i) {
      if (!makeRoom())
        break;
      code().push_back(code()[i]);
    }
    return at;
  }

  void expression(int stop);
  void piece();
  void atom(bool &wasCaret);
  bool seeRepetition() const {
    if (!more())
      return false;
    int c = peek();
    return c == '*' || c == '+' || c == '?' || (c == '{' && more2() && isDigit(peek2()));
  }
  int readCount();
  void repeat(size_t start, int from, int to);
  // Puts `head` before the words from `start` on and `tail` after them,
  // linked to each other (the layouts of "+" and of the outer part of "*").
  void enclose(size_t start, RegexOp head, RegexOp tail);
  // The choice between the words from `start` on and nothing.
  void makeOptional(size_t start);
  // Ends the empty second branch of a choice whose start is at `choiceStart`.
  void closeOptional(size_t choiceStart);
  void ordinary(int c);
  void backReference(int group);
  void bracket();
  void bracketTerm(CharSet &set);
  int bracketSymbol();
  int collatingElement(int endChar);
  void emitSet(CharSet &set);
  void findRequiredLiteral();
  void findLoopDepth();
};

RegexStatus Parser::compile() {
  emit(RegexOp::End);
  g.firstState = 0;
  expression(-1);
  g.lastState = here();
  emit(RegexOp::End);
  g.instructions.shrink_to_fit();
  if (!error)
    findRequiredLiteral();
  if (!error)
    findLoopDepth();
  if (!error && (g.internalFlags & regexBroken))
    error = regexCantHappen;
  return error;
}

void Parser::expression(int stop) {
  bool first = true;
  size_t previousBack = 0; // the last Or1, or the ChoiceStart
  size_t previousForward = 0;
  for (;;) {
    size_t branch = here();
    while (more() && peek() != '|' && peek() != stop)
      piece();
    if (here() == branch)
      setError(regexEmpty);
    if (!eat('|'))
      break;
    if (first) {
      insert(RegexOp::ChoiceStart, branch);
      previousBack = branch;
      previousForward = branch;
      first = false;
    }
    emitBack(RegexOp::Or1, previousBack);
    previousBack = here() - 1;
    pointHere(previousForward);
    previousForward = here();
    emit(RegexOp::Or2);
  }
  if (!first) {
    pointHere(previousForward);
    emitBack(RegexOp::ChoiceEnd, previousBack);
  }
}

void Parser::piece() {
  size_t start = here();
  bool wasCaret = false;
  atom(wasCaret);
  if (!seeRepetition())
    return;
  int c = getNext();
  if (wasCaret) {
    setError(regexBadRepetition);
    return;
  }
  switch (c) {
  case '+':
    enclose(start, RegexOp::PlusStart, RegexOp::PlusEnd);
    break;
  case '*':
    enclose(start, RegexOp::PlusStart, RegexOp::PlusEnd);
    enclose(start, RegexOp::QuestStart, RegexOp::QuestEnd);
    break;
  case '?':
    makeOptional(start);
    break;
  case '{': {
    int from = readCount();
    int to = from;
    if (eat(',')) {
      if (more() && isDigit(peek())) {
        to = readCount();
        require(from <= to, regexBadCount);
      } else {
        to = unboundedCount;
      }
    }
    repeat(start, from, to);
    if (!eat('}')) {
      while (more() && peek() != '}')
        ++next;
      require(more(), regexBracesUnbalanced);
      setError(regexBadCount);
    }
    break;
  }
  }
  if (seeRepetition())
    setError(regexBadRepetition);
}

void Parser::enclose(size_t start, RegexOp head, RegexOp tail) {
  insert(head, start);
  emitBack(tail, start);
  setOperand(start, here() - 1 - start);
}

void Parser::makeOptional(size_t start) {
  insert(RegexOp::ChoiceStart, start);
  closeOptional(start);
}

void Parser::closeOptional(size_t choiceStart) {
  emitBack(RegexOp::Or1, choiceStart);
  pointHere(choiceStart);
  emit(RegexOp::Or2);
  pointHere(here() - 1);
  emitBack(RegexOp::ChoiceEnd, here() - 2);
}

int Parser::readCount() {
  int count = 0;
  int digits = 0;
  while (more() && isDigit(peek()) && count <= 255) {
    count = count * 10 + (getNext() - '0');
    ++digits;
  }
  require(digits > 0 && count <= 255, regexBadCount);
  return count;
}

// Counted repetition of the words from `start` to here.
void Parser::repeat(size_t start, int from, int to) {
  if (error)
    return;
  auto countClass = [](int n) { return n <= 1 ? n : n == unboundedCount ? 3 : 2; };
  constexpr int N = 2, INF = 3;
  int kind = countClass(from) * 4 + countClass(to);
  size_t finish = here();
  switch (kind) {
  case 0 * 4 + 0:
    // The atom vanishes; groups recorded inside it no longer exist in the
    // program, so later back-references to them are invalid.
    code().resize(start);
    for (int i = 1; i <= 9; ++i) {
      if (groupStart[i] != noPosition && groupStart[i] >= start) {
        groupStart[i] = noPosition;
        groupEnd[i] = noPosition;
      }
    }
    break;
  case 0 * 4 + 1:
  case 0 * 4 + N:
  case 0 * 4 + INF:
    insert(RegexOp::ChoiceStart, start);
    repeat(start + 1, 1, to);
    closeOptional(start);
    break;
  case 1 * 4 + 1:
    break;
  case 1 * 4 + N: {
    makeOptional(start);
    size_t copy = duplicate(start + 1, finish + 1);
    repeat(copy, 1, to - 1);
    break;
  }
  case 1 * 4 + INF:
    enclose(start, RegexOp::PlusStart, RegexOp::PlusEnd);
    break;
  case N * 4 + N: {
    size_t copy = duplicate(start, finish);
    repeat(copy, from - 1, to - 1);
    break;
  }
  case N * 4 + INF: {
    size_t copy = duplicate(start, finish);
    repeat(copy, from - 1, to);
    break;
  }
  default:
    setError(regexCantHappen);
    break;
  }
}

void Parser::atom(bool &wasCaret) {
  int c = getNext();
  switch (c) {
  case '(': {
    require(more(), regexParensUnbalanced);
    if (error)
      return;
    if (++nesting > maxGroupNesting) {
      setError(regexOutOfMemory);
      return;
    }
    unsigned group = ++g.subExpressionCount;
    if (group <= 9)
      groupStart[group] = here();
    emit(RegexOp::LParen, group);
    if (!see(')'))
      expression(')');
    if (group <= 9 && !error)
      groupEnd[group] = here();
    emit(RegexOp::RParen, group);
    require(eat(')'), regexParensUnbalanced);
    --nesting;
    break;
  }
  case ')':
    setError(regexParensUnbalanced);
    break;
  case '^':
    emit(RegexOp::Bol);
    g.internalFlags |= regexUsesStartAnchor;
    ++g.startAnchors;
    wasCaret = true;
    break;
  case '$':
    emit(RegexOp::Eol);
    g.internalFlags |= regexUsesEndAnchor;
    ++g.endAnchors;
    break;
  case '|':
    setError(regexEmpty);
    break;
  case '*':
  case '+':
  case '?':
    setError(regexBadRepetition);
    break;
  case '.':
    if (g.compileFlags & regexNewline) {
      CharSet set;
      for (int b = 0; b < 256; ++b)
        if (b != '\n')
          set.add((unsigned char)b);
      emitSet(set);
    } else {
      emit(RegexOp::Any);
    }
    break;
  case '[':
    bracket();
    break;
  case '\\': {
    if (!require(more(), regexTrailingBackslash))
      break;
    int d = getNext();
    if (d >= '1' && d <= '9')
      backReference(d - '0');
    else
      ordinary(d);
    break;
  }
  case '{':
    if (more() && isDigit(peek()))
      setError(regexBadRepetition);
    else
      ordinary(c);
    break;
  default:
    ordinary(c);
    break;
  }
}

void Parser::ordinary(int c) {
  if ((g.compileFlags & regexIgnoreCase) && otherCase(c) != c) {
    CharSet set;
    set.add((unsigned char)c);
    set.add((unsigned char)otherCase(c));
    emitSet(set);
    return;
  }
  emit(RegexOp::Char, (unsigned char)c);
}

void Parser::backReference(int group) {
  if (!require(groupEnd[group] != noPosition, regexBadBackref))
    return;
  emit(RegexOp::BackrefStart, group);
  duplicate(groupStart[group] + 1, groupEnd[group]);
  emit(RegexOp::BackrefEnd, group);
  g.hasBackrefs = true;
}

void Parser::bracket() {
  if (end - next >= 6 && std::memcmp(next, "[:<:]]", 6) == 0) {
    emit(RegexOp::Bow);
    next += 6;
    return;
  }
  if (end - next >= 6 && std::memcmp(next, "[:>:]]", 6) == 0) {
    emit(RegexOp::Eow);
    next += 6;
    return;
  }
  CharSet set;
  bool negate = eat('^');
  if (eat(']'))
    set.add(']');
  else if (eat('-'))
    set.add('-');
  while (more() && peek() != ']' && !seeTwo('-', ']'))
    bracketTerm(set);
  if (eat('-'))
    set.add('-');
  require(eat(']'), regexBracketsUnbalanced);
  if (error)
    return;
  if (g.compileFlags & regexIgnoreCase) {
    for (int c = 'A'; c <= 'Z'; ++c) {
      if (set.has((unsigned char)c) || set.has((unsigned char)otherCase(c))) {
        set.add((unsigned char)c);
        set.add((unsigned char)otherCase(c));
      }
    }
  }
  if (negate) {
    CharSet complement;
    for (int c = 0; c < 256; ++c)
      if (!set.has((unsigned char)c))
        complement.add((unsigned char)c);
    if (g.compileFlags & regexNewline)
      complement.remove('\n');
    set = complement;
  }
  emitSet(set);
}

void Parser::bracketTerm(CharSet &set) {
  if (seeTwo('[', ':')) {
    next += 2;
    if (!require(more(), regexBracketsUnbalanced))
      return;
    if (!require(peek() != '-' && peek() != ']', regexBadClass))
      return;
    const char *name = next;
    while (more() && isAlpha(peek()))
      ++next;
    {
      size_t length = size_t(next - name);
      const ClassEntry *found = nullptr;
      for (const ClassEntry &entry : characterClasses)
        if (std::strlen(entry.name) == length && std::memcmp(entry.name, name, length) == 0)
          found = &entry;
      if (!require(found != nullptr, regexBadClass))
        return;
      for (int c = 0; c < 256; ++c)
        if (found->member(c))
          set.add((unsigned char)c);
    }
    if (!require(more(), regexBracketsUnbalanced))
      return;
    require(eatTwo(':', ']'), regexBadClass);
    return;
  }
  if (seeTwo('[', '=')) {
    next += 2;
    if (!require(more(), regexBracketsUnbalanced))
      return;
    if (!require(peek() != '-' && peek() != ']', regexBadCollatingElement))
      return;
    int c = collatingElement('=');
    if (error)
      return;
    set.add((unsigned char)c);
    if (!require(more(), regexBracketsUnbalanced))
      return;
    require(eatTwo('=', ']'), regexBadCollatingElement);
    return;
  }
  if (see('-')) {
    setError(regexBadRange);
    return;
  }
  int first = bracketSymbol();
  int last = first;
  if (see('-') && !seeTwo('-', ']')) {
    ++next;
    if (eat('-'))
      last = '-';
    else
      last = bracketSymbol();
  }
  if (error)
    return;
  if (!require((signed char)first <= (signed char)last, regexBadRange))
    return;
  for (int c = (signed char)first; c <= (signed char)last; ++c)
    set.add((unsigned char)c);
}

int Parser::bracketSymbol() {
  if (!require(more(), regexBracketsUnbalanced))
    return 0;
  if (!eatTwo('[', '.'))
    return getNext();
  int c = collatingElement('.');
  if (error)
    return 0;
  require(eatTwo('.', ']'), regexBadCollatingElement);
  return c;
}

int Parser::collatingElement(int endChar) {
  const char *start = next;
  while (more() && !seeTwo(endChar, ']'))
    ++next;
  if (!require(more(), regexBracketsUnbalanced))
    return 0;
  size_t length = size_t(next - start);
  for (const CollatingName &entry : collatingNames)
    if (std::strlen(entry.name) == length && std::memcmp(entry.name, start, length) == 0)
      return entry.byte;
  if (length == 1)
    return (unsigned char)*start;
  setError(regexBadCollatingElement);
  return 0;
}

// A set of one byte costs no set: it becomes a plain character. Identical
// sets share one table entry.
void Parser::emitSet(CharSet &set) {
  if (error)
    return;
  if (set.count() == 1) {
    for (int c = 0; c < 256; ++c)
      if (set.has((unsigned char)c)) {
        emit(RegexOp::Char, (unsigned char)c);
        return;
      }
  }
  for (size_t i = 0; i < g.sets.size(); ++i) {
    if (g.sets[i].hash == set.hash && g.sets[i] == set) {
      emit(RegexOp::AnyOf, i);
      return;
    }
  }
  if (g.sets.size() == g.sets.capacity())
    g.sets.reserve(g.sets.size() + 8);
  g.sets.push_back(set);
  emit(RegexOp::AnyOf, g.sets.size() - 1);
}

void Parser::findRequiredLiteral() {
  std::string best, run;
  size_t scan = g.firstState + 1;
  for (;;) {
    size_t at = scan++;
    RegexOp op = g.op(at);
    bool endsRun = true;
    switch (op) {
    case RegexOp::Char:
      run += char(g.operand(at));
      endsRun = false;
      break;
    case RegexOp::PlusStart:
    case RegexOp::LParen:
    case RegexOp::RParen:
      endsRun = false;
      break;
    case RegexOp::QuestStart:
    case RegexOp::ChoiceStart: {
      size_t pos = at;
      for (;;) {
        pos += g.operand(pos);
        if (pos >= g.instructions.size()) {
          g.internalFlags |= regexBroken;
          return;
        }
        RegexOp landed = g.op(pos);
        if (landed != RegexOp::QuestEnd && landed != RegexOp::ChoiceEnd &&
            landed != RegexOp::Or2) {
          g.internalFlags |= regexBroken;
          return;
        }
        if (landed != RegexOp::Or2)
          break;
      }
      scan = pos + 1;
      break;
    }
    default:
      break;
    }
    if (endsRun) {
      if (run.size() > best.size())
        best.swap(run);
      run.clear();
    }
    if (op == RegexOp::End)
      break;
  }
  g.requiredLiteral = std::move(best);
}

void Parser::findLoopDepth() {
  long depth = 0, deepest = 0;
  for (RegexWord word : g.instructions) {
    if (regexOpOf(word) == RegexOp::PlusStart)
      deepest = std::max(deepest, ++depth);
    else if (regexOpOf(word) == RegexOp::PlusEnd)
      --depth;
  }
  if (depth != 0)
    g.internalFlags |= regexBroken;
  g.loopDepth = unsigned(deepest);
}

} // namespace

RegexStatus compileRegex(std::unique_ptr<RegexProgram> &handle, const char *start,
                         const char *end, unsigned flags) {
  handle.reset();
  if (!(flags & regexPatternEnd))
    end = start + std::strlen(start);
  if (end < start)
    return regexBadArgument;
  try {
    auto program = std::make_unique<RegexProgram>();
    program->compileFlags = flags;
    RegexStatus status = Parser(*program, start, end).compile();
    if (status == regexOk)
      handle = std::move(program);
    return status;
  } catch (const std::bad_alloc &) {
    return regexOutOfMemory;
  }
}

size_t regexErrorText(int code, char *buffer, size_t size) {
  const char *message = "*** unknown regexp error code ***";
  if (code >= 1 && code <= 16)
    message = errorMessages[code];
  size_t length = std::strlen(message);
  if (size != 0) {
    size_t copied = std::min(length, size - 1);
    std::memcpy(buffer, message, copied);
    buffer[copied] = '\0';
  }
  return length + 1;
}

void freeRegex(std::unique_ptr<RegexProgram> &handle) { handle.reset(); }

} // namespace ostrel
