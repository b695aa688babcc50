#include "engine/DiagnosticSink.h"

#include "engine/numeric/NumericErrors.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/OutputStream.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DiagnosticSinkTest : testing::Test {
  DiagnosticSinkTest() { registry.addBuffer(copyText("first\nsecond line\n", "check.txt")); }
  SourceLocation at(size_t offset) const { return registry.buffer(1).text().data() + offset; }

  /// A located error, an unlocated one and a plain text, in that order.
  ErrorValue threeErrors() {
    return combineErrors(combineErrors(DiagnosticError::make(registry, at(13), "bad"),
                                       makeUndefinedVariableError("N")),
                         makeTextError(std::make_error_code(std::errc::invalid_argument), "t"));
  }

  SourceRegistry registry;
};

// Reporting errors through a stream sink writes what printing them writes.
TEST_F(DiagnosticSinkTest, ReportErrorsPrintsLikePrintAllErrors) {
  std::string printed;
  StringOutputStream printStream(printed);
  printAllErrors(threeErrors(), printStream);

  std::string reported;
  StringOutputStream reportStream(reported);
  StreamDiagnosticSink sink(reportStream);
  sink.reportErrors(threeErrors());
  sink.reportErrors(ErrorValue::success());

  EXPECT_EQ(reported, printed);
  EXPECT_EQ(reported,
            "check.txt:2:8: error: bad\nsecond line\n       ^\n\nundefined variable: N\nt\n");
}

// A recorder keeps located reports whole and in order, and replays them.
TEST_F(DiagnosticSinkTest, RecorderKeepsReportsInOrder) {
  DiagnosticRecorder recorder;
  recorder.text("error: plain\n");
  recorder.report(registry, at(6), DiagSeverity::Note, "here", SourceRange(at(6), at(12)));

  ASSERT_EQ(recorder.reports().size(), 2u);
  const auto *note = std::get_if<SourceDiagnostic>(&recorder.reports()[1]);
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->severity, DiagSeverity::Note);
  EXPECT_EQ(note->lineNumber, 2);
  EXPECT_EQ(note->message, "here");
  EXPECT_EQ(recorder.printed(), "error: plain\ncheck.txt:2:1: note: here\nsecond line\n^~~~~~\n");

  DiagnosticRecorder copy;
  recorder.replay(copy);
  EXPECT_EQ(copy.printed(), recorder.printed());
}

} // namespace
