#ifndef OSTREL_SUPPORT_REGEX_REGEXPROGRAM_H
#define OSTREL_SUPPORT_REGEX_REGEXPROGRAM_H

/// The compiled form of a regular expression: a flat array of instruction
/// words plus a table of byte sets. The compiler builds it once; the matcher
/// only reads it, so one program may serve any number of searches.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

/// Instruction opcodes. A word holds the opcode in bits 27-31 and its operand
/// (a byte, a set index, a group number or a distance in words) in bits 0-26.
/// Constructs are laid out inline and linked by relative distances:
///   x+      PlusStart x PlusEnd
///   x*      QuestStart PlusStart x PlusEnd QuestEnd
///   a|b|c   ChoiceStart a Or1 Or2 b Or1 Or2 c ChoiceEnd
///   x?      ChoiceStart x Or1 Or2 ChoiceEnd   (an empty second branch)
enum class RegexOp : unsigned {
  End = 1,          ///< first and last word of every program
  Char = 2,         ///< one literal byte (operand)
  Bol = 3,          ///< "^": a line start
  Eol = 4,          ///< "$": a line end
  Any = 5,          ///< "." when line feeds are ordinary bytes
  AnyOf = 6,        ///< one byte from the set whose index is the operand
  BackrefStart = 7, ///< \k for group k: a copy of the group's body follows
  BackrefEnd = 8,   ///< end of that copy
  PlusStart = 9,    ///< loop head; operand: distance forward to PlusEnd
  PlusEnd = 10,     ///< loop tail; operand: distance back to PlusStart
  QuestStart = 11,  ///< zero-or-one (only around a loop, for "*"); forward to QuestEnd
  QuestEnd = 12,    ///< its end; back to QuestStart
  LParen = 13,      ///< group (operand) opens
  RParen = 14,      ///< group (operand) closes
  ChoiceStart = 15, ///< alternation; forward to the first Or2
  Or1 = 16,         ///< end of a branch; back to the previous Or1 (or ChoiceStart)
  Or2 = 17,         ///< start of the next branch; forward to the next Or2 or ChoiceEnd
  ChoiceEnd = 18,   ///< end of the alternation; back to the last Or1
  Bow = 19,         ///< "[[:<:]]": start of a word
  Eow = 20,         ///< "[[:>:]]": end of a word
};

using RegexWord = uint64_t;

constexpr unsigned regexOperandBits = 27;
constexpr RegexWord regexOperandMask = (RegexWord(1) << regexOperandBits) - 1;

inline RegexWord makeRegexWord(RegexOp op, RegexWord operand) {
  return (RegexWord(op) << regexOperandBits) | (operand & regexOperandMask);
}
inline RegexOp regexOpOf(RegexWord word) {
  return RegexOp((word >> regexOperandBits) & 0x1f);
}
inline size_t regexOperandOf(RegexWord word) { return size_t(word & regexOperandMask); }

/// Compile flags (bit values given to compileRegex).
enum RegexCompileFlag : unsigned {
  regexExtended = 1,
  regexIgnoreCase = 2,
  regexNewline = 8,
  regexPatternEnd = 32,
};

/// Facts the compiler records about the program.
enum RegexInternalFlag : unsigned {
  regexUsesStartAnchor = 1,
  regexUsesEndAnchor = 2,
  regexBroken = 4,
};

/// A set of bytes; `hash` (the wrapping sum of the members) lets the compiler
/// find an identical set without comparing every one.
struct CharSet {
  std::array<uint64_t, 4> bits{};
  uint8_t hash = 0;

  bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
  void add(unsigned char c) {
    if (!has(c)) {
      bits[c >> 6] |= uint64_t(1) << (c & 63);
      hash = uint8_t(hash + c);
    }
  }
  void remove(unsigned char c) {
    if (has(c)) {
      bits[c >> 6] &= ~(uint64_t(1) << (c & 63));
      hash = uint8_t(hash - c);
    }
  }
  unsigned count() const;
  bool operator==(const CharSet &other) const { return bits == other.bits; }
};

struct RegexProgram {
  std::vector<RegexWord> instructions; ///< its size is the number of matcher states
  size_t firstState = 0;               ///< the leading End word
  size_t lastState = 0;                ///< the trailing End word
  std::vector<CharSet> sets;
  unsigned compileFlags = 0;
  unsigned internalFlags = 0;
  unsigned startAnchors = 0; ///< how many "^" the pattern holds
  unsigned endAnchors = 0;   ///< how many "$"
  /// The longest run of literal bytes every match contains (empty: none).
  std::string requiredLiteral;
  unsigned subExpressionCount = 0;
  bool hasBackrefs = false;
  unsigned loopDepth = 0; ///< deepest nesting of one-or-more loops

  /// True when some instruction can consume a line feed, so that a match
  /// may run over more than one line.
  bool consumesLineFeed() const;

  RegexOp op(size_t state) const { return regexOpOf(instructions[state]); }
  size_t operand(size_t state) const { return regexOperandOf(instructions[state]); }
};

} // namespace ostrel

#endif
