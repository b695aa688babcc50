#include "support/diag/DiagnosticError.h"

#include "support/diag/AlreadyReportedError.h"
#include "support/diag/OutputStream.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

/// Registers a copy of `text` as the buffer "check" and returns a view of it.
TextRef addText(SourceRegistry &registry, TextRef text) {
  FileBufferPtr buffer = copyText(text, "check");
  TextRef view = buffer->text();
  registry.addBuffer(std::move(buffer));
  return view;
}

std::string printedErrors(ErrorValue error) {
  std::string out;
  StringOutputStream stream(out);
  printAllErrors(std::move(error), stream);
  return out;
}

TEST(AlreadyReportedErrorTest, TextAndCode) {
  ErrorValue reported = makeAlreadyReportedError();
  ASSERT_TRUE(reported.isA<AlreadyReportedError>());
  EXPECT_FALSE(reported.isA<DiagnosticError>());
  EXPECT_EQ(reported.payload()->message(), "error previously reported");
  EXPECT_EQ(reported.payload()->toErrorCode(), inconvertibleErrorCode());
  dropError(std::move(reported));
}

TEST(DiagnosticErrorTest, DiagnosticErrorKeepsItsRangeButShowsNoTildes) {
  SourceRegistry registry;
  TextRef text = addText(registry, "first\nCHECK: [[#N + 1]]\n");
  TextRef block = text.substr(16, 5);
  ASSERT_EQ(block, "N + 1");
  ErrorValue error =
      DiagnosticError::make(registry, block.data(), "some message", SourceRange::of(block),
                            DiagnosticKind::InvalidNumericBlock);
  ASSERT_TRUE(error.isA<DiagnosticError>());
  auto *diag = static_cast<const DiagnosticError *>(error.payload());
  EXPECT_EQ(diag->messageText(), "some message");
  EXPECT_EQ(diag->kind(), DiagnosticKind::InvalidNumericBlock);
  EXPECT_EQ(diag->range().start, block.data());
  EXPECT_EQ(diag->range().end, block.data() + block.size());
  EXPECT_TRUE(diag->diagnostic().columnRanges.empty());
  EXPECT_EQ(diag->diagnostic().severity, DiagSeverity::Error);
  EXPECT_EQ(diag->toErrorCode(), inconvertibleErrorCode());

  // Joined with another error: the diagnostic, an empty line, then the other.
  ErrorValue joined = combineErrors(std::move(error), makeTextError(inconvertibleErrorCode(), "undefined variable: N"));
  EXPECT_EQ(printedErrors(std::move(joined)), "check:2:11: error: some message\n"
                                              "CHECK: [[#N + 1]]\n"
                                              "          ^\n"
                                              "\n"
                                              "undefined variable: N\n");
}

} // namespace

} // namespace ostrel
