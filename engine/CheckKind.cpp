#include "engine/CheckKind.h"

namespace ostrel {

namespace {

struct DirectiveName {
  const char *suffix;   // appended to the prefix; null: a fixed word instead
  const char *fixedWord;
  bool takesModifiers;
};

// Indexed by DirectiveType.
constexpr DirectiveName directiveNames[] = {
    {nullptr, "invalid", false},      // Invalid
    {nullptr, "misspelled", false},   // Misspelled
    {"", nullptr, true},              // Plain (-COUNT added below)
    {"-NEXT", nullptr, true},         // Next
    {"-SAME", nullptr, true},         // Same
    {"-NOT", nullptr, true},          // Not
    {"-DAG", nullptr, true},          // Dag
    {"-LABEL", nullptr, true},        // Label
    {"-EMPTY", nullptr, true},        // Empty
    {"", nullptr, false},             // Comment: the prefix alone
    {nullptr, "implicit EOF", false}, // ImplicitEof
    {nullptr, "bad NOT", false},      // BadNot
    {nullptr, "bad COUNT", false},    // BadCount
};

} // namespace

std::string description(CheckKind kind, TextRef prefix) {
  auto index = static_cast<size_t>(kind.type);
  if (index >= std::size(directiveNames))
    return "invalid";
  const DirectiveName &name = directiveNames[index];
  if (!name.suffix)
    return name.fixedWord;
  std::string result(prefix);
  result += name.suffix;
  if (kind.type == DirectiveType::Plain && kind.count > 1)
    result += "-COUNT";
  if (name.takesModifiers && kind.literal())
    result += "{LITERAL}";
  return result;
}

} // namespace ostrel
