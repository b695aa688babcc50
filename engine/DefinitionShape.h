#ifndef OSTREL_ENGINE_DEFINITIONSHAPE_H
#define OSTREL_ENGINE_DEFINITIONSHAPE_H

/// The shape every command-line definition (-D) must have before any file is
/// read: a name, then an equal sign. What the name and the value hold is
/// checked later, when the definitions are applied. Tested by
/// DefinitionShape_test.cpp.

#include "support/diag/OutputStream.h"
#include "support/fs/TextRef.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// What is wrong with the shape of `value`, as given after -D, or nothing
/// when it is good: "Missing equal sign in command-line definition '-D...'"
/// or "Missing variable name in command-line definition '-D...'".
std::optional<std::string> definitionShapeProblem(TextRef value);

/// Prints the problem of each value of bad shape on `errors`, after
/// `programPrefix` and followed by a line feed, and appends the others to
/// `accepted` when given. Answers true when every value was good.
bool checkDefinitionShapes(const std::vector<std::string> &values, OutputStream &errors,
                           TextRef programPrefix = TextRef(),
                           std::vector<TextRef> *accepted = nullptr);

} // namespace ostrel

#endif
