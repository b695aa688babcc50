// Fuzz target: compile arbitrary bytes as an expression, with flags taken
// from the first input byte, and search a subject taken from the input's
// tail. Any crash, out-of-bounds access or unbounded recursion is a finding.

#include "support/regex/CompiledRegex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  unsigned flags = data[0] & 3;
  TextRef rest(reinterpret_cast<const char *>(data + 1), size - 1);
  // The expression and the subject are separated by the first 0xff byte;
  // without one, the input is both the expression and the subject.
  size_t cut = rest.find('\xff');
  TextRef pattern = cut == TextRef::npos ? rest : rest.substr(0, cut);
  TextRef subject = cut == TextRef::npos ? rest : rest.substr(cut + 1);
  CompiledRegex regex(pattern, flags);
  std::string error;
  if (!regex.checkValid(error))
    return 0;
  // Back-references make matching exponential by design; keep their
  // subjects short so a run measures robustness, not patience.
  if (pattern.find('\\') != TextRef::npos && subject.size() > 24)
    subject = subject.substr(0, 24);
  std::vector<TextRef> groups;
  bool found = regex.search(subject, &groups, &error);
  bool foundPlain = regex.search(subject);
  if (found != foundPlain && error.empty())
    __builtin_trap();
  if (found) {
    if (groups.size() != regex.groupCount() + 1)
      __builtin_trap();
    for (TextRef group : groups)
      if (group.data() && (group.data() < subject.data() ||
                           group.data() + group.size() > subject.data() + subject.size()))
        __builtin_trap();
  }
  return 0;
}

} // namespace ostrel
