#include "engine/CheckKind.h"

#include <gtest/gtest.h>

namespace ostrel {

TEST(CheckKindTest, DescriptionNamesEveryDirectiveType) {
  CheckKind literalNext(DirectiveType::Next);
  literalNext.setLiteral();
  CheckKind literalCount(DirectiveType::Plain, 3);
  literalCount.setLiteral();
  CheckKind literalComment(DirectiveType::Comment);
  literalComment.setLiteral();
  struct Case {
    CheckKind kind;
    const char *expected;
  } cases[] = {
      {CheckKind(DirectiveType::Invalid), "invalid"},
      {CheckKind(DirectiveType::Misspelled), "misspelled"},
      {CheckKind(DirectiveType::Plain), "P"},
      {CheckKind(DirectiveType::Plain, 5), "P-COUNT"},
      {literalCount, "P-COUNT{LITERAL}"},
      {CheckKind(DirectiveType::Next), "P-NEXT"},
      {literalNext, "P-NEXT{LITERAL}"},
      {CheckKind(DirectiveType::Same), "P-SAME"},
      {CheckKind(DirectiveType::Not), "P-NOT"},
      {CheckKind(DirectiveType::Dag), "P-DAG"},
      {CheckKind(DirectiveType::Label), "P-LABEL"},
      {CheckKind(DirectiveType::Empty), "P-EMPTY"},
      {literalComment, "P"},
      {CheckKind(DirectiveType::ImplicitEof), "implicit EOF"},
      {CheckKind(DirectiveType::BadNot), "bad NOT"},
      {CheckKind(DirectiveType::BadCount), "bad COUNT"},
      {CheckKind(static_cast<DirectiveType>(13)), "invalid"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(description(c.kind, "P"), c.expected) << static_cast<int>(c.kind.type);
}

} // namespace ostrel
