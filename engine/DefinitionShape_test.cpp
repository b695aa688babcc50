#include "engine/DefinitionShape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

TEST(DefinitionShapeTest, DefinitionsNeedANameAndAnEqualSign) {
  std::vector<std::string> values = {"A=1", "", "NOEQUALS", "=1", "B=", "#N=2", "=", "#F,M=3"};
  std::vector<TextRef> accepted;
  std::string errors;
  StringOutputStream os(errors);
  EXPECT_FALSE(checkDefinitionShapes(values, os, TextRef(), &accepted));
  EXPECT_EQ(accepted, (std::vector<TextRef>{"A=1", "B=", "#N=2", "#F,M=3"}));
  EXPECT_EQ(errors, "Missing equal sign in command-line definition '-D'\n"
                    "Missing equal sign in command-line definition '-DNOEQUALS'\n"
                    "Missing variable name in command-line definition '-D=1'\n"
                    "Missing variable name in command-line definition '-D='\n");

  accepted.clear();
  errors.clear();
  EXPECT_TRUE(checkDefinitionShapes({"X=1"}, os, TextRef(), &accepted));
  EXPECT_EQ(errors, "");

  // Other programs name themselves in front of the same text.
  EXPECT_FALSE(checkDefinitionShapes({"Y"}, os, "ostrel-lint: "));
  EXPECT_EQ(errors, "ostrel-lint: Missing equal sign in command-line definition '-DY'\n");
  EXPECT_EQ(definitionShapeProblem("#N=1"), std::nullopt);
}

} // namespace

} // namespace ostrel
