#include "update/DirectiveList.h"

namespace ostrel {

DirectiveList::DirectiveList(std::initializer_list<TextRef> directives) {
  for (TextRef directive : directives)
    push_back(directive);
}

DirectiveList::DirectiveList(const std::vector<std::string> &directives) {
  for (const std::string &directive : directives)
    push_back(directive);
}

void DirectiveList::push_back(TextRef directive) {
  buffer += directive;
  ends.push_back(buffer.size());
}

void DirectiveList::append(std::initializer_list<TextRef> parts) {
  for (TextRef part : parts)
    buffer += part;
  ends.push_back(buffer.size());
}

} // namespace ostrel
