#include "engine/DefinitionShape.h"

namespace ostrel {

std::optional<std::string> definitionShapeProblem(TextRef value) {
  size_t equals = value.find('=');
  if (equals == TextRef::npos)
    return "Missing equal sign in command-line definition '-D" + std::string(value) + "'";
  if (equals == 0)
    return "Missing variable name in command-line definition '-D" + std::string(value) + "'";
  return std::nullopt;
}

bool checkDefinitionShapes(const std::vector<std::string> &values, OutputStream &errors,
                           TextRef programPrefix, std::vector<TextRef> *accepted) {
  bool allGood = true;
  for (const std::string &value : values) {
    if (std::optional<std::string> problem = definitionShapeProblem(value)) {
      errors << programPrefix << *problem << '\n';
      allGood = false;
    } else if (accepted) {
      accepted->push_back(value);
    }
  }
  return allGood;
}

} // namespace ostrel
