#include "engine/EngineErrors.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(EngineErrorsTest, TextsKindsAndCodes) {
  ErrorValue notFound = makePatternNotFoundError();
  EXPECT_EQ(notFound.payload()->message(), "String not found in input");
  EXPECT_EQ(notFound.payload()->toErrorCode(), inconvertibleErrorCode());
  EXPECT_FALSE(notFound.isA<AlreadyReportedError>());
  dropError(std::move(notFound));

  // The checker tells an unbalanced bracket apart; everything else may treat
  // it as any failure already reported.
  ErrorValue unbalanced = makeUnbalancedBracketError();
  ErrorValue reported = makeAlreadyReportedError();
  EXPECT_TRUE(unbalanced.isA<UnbalancedBracketError>());
  EXPECT_TRUE(unbalanced.isA<AlreadyReportedError>());
  EXPECT_FALSE(reported.isA<UnbalancedBracketError>());
  EXPECT_EQ(unbalanced.payload()->message(), "error previously reported");
  dropError(combineErrors(std::move(unbalanced), std::move(reported)));
}

} // namespace

} // namespace ostrel
