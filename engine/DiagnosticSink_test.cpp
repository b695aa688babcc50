#include "engine/DiagnosticSink.h"

#include "engine/numeric/NumericErrors.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/OutputStream.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

struct DiagnosticSinkTest : testing::Test {
  DiagnosticSinkTest() { registry.addBuffer(copyText("first\nsecond line\n", "check.txt")); }
  SourceLocation at(size_t offset) const { return registry.buffer(1).text().data() + offset; }

  /// A located error, an unlocated one and a plain text, in that order.
  ErrorValue threeErrors() {
    return combineErrors(combineErrors(DiagnosticError::make(registry, at(13), "bad",
                                                             SourceRange(),
                                                             DiagnosticKind::InvalidNumericBlock),
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
  sink.reportErrors(threeErrors(), DiagnosticKind::SubstitutionFailed);
  sink.reportErrors(ErrorValue::success(), DiagnosticKind::SubstitutionFailed);

  EXPECT_EQ(reported, printed);
  EXPECT_EQ(reported,
            "check.txt:2:8: error: bad\nsecond line\n       ^\n\nundefined variable: N\nt\n");
}

// A recorder keeps located reports whole and in order, with their kinds,
// and replays them.
TEST_F(DiagnosticSinkTest, RecorderKeepsReportsInOrder) {
  DiagnosticRecorder recorder;
  recorder.text("error: plain\n", DiagnosticKind::NoCheckStrings);
  recorder.report(registry, at(6), DiagSeverity::Note, "here", DiagnosticKind::WrongLine,
                  SourceRange(at(6), at(12)));

  ASSERT_EQ(recorder.reports().size(), 2u);
  EXPECT_EQ(recorder.reports()[0].kind, DiagnosticKind::NoCheckStrings);
  EXPECT_EQ(recorder.reports()[1].kind, DiagnosticKind::WrongLine);
  const auto *note = std::get_if<SourceDiagnostic>(&recorder.reports()[1].report);
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->severity, DiagSeverity::Note);
  EXPECT_EQ(note->lineNumber, 2);
  EXPECT_EQ(note->message, "here");
  EXPECT_EQ(recorder.printed(), "error: plain\ncheck.txt:2:1: note: here\nsecond line\n^~~~~~\n");

  DiagnosticRecorder copy;
  recorder.replay(copy);
  EXPECT_EQ(copy.printed(), recorder.printed());
  EXPECT_EQ(copy.reports()[1].kind, DiagnosticKind::WrongLine);

  // A located error keeps the kind its maker gave it; every other error
  // takes the kind the reporter names, and so does the line feed after each.
  DiagnosticRecorder errors;
  errors.reportErrors(threeErrors(), DiagnosticKind::SubstitutionFailed);
  std::vector<DiagnosticKind> kinds;
  for (const DiagnosticRecorder::Entry &entry : errors.reports())
    kinds.push_back(entry.kind);
  EXPECT_EQ(kinds, (std::vector<DiagnosticKind>{
                       DiagnosticKind::InvalidNumericBlock, DiagnosticKind::InvalidNumericBlock,
                       DiagnosticKind::SubstitutionFailed, DiagnosticKind::SubstitutionFailed,
                       DiagnosticKind::SubstitutionFailed, DiagnosticKind::SubstitutionFailed}));
}

} // namespace

} // namespace ostrel
