#include "support/diag/ErrorValue.h"

#include "support/diag/FatalError.h"
#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <unistd.h>

namespace ostrel {

namespace {

// A kind with no system error code, the way the engine's own kinds behave.
class LocalError : public ErrorPayloadKind<LocalError> {
public:
  explicit LocalError(std::string text) : text_(std::move(text)) {}
  void print(OutputStream &os) const override { os << text_; }
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }

private:
  std::string text_;
};

// A kind refining another one: it is-a LocalError as well.
class NarrowError : public ErrorPayloadKind<NarrowError, LocalError> {
public:
  NarrowError() : ErrorPayloadKind<NarrowError, LocalError>("narrow") {}
};

ErrorValue text(const char *t) { return makeTextError(std::error_code(), t); }

// The messages of an error's payloads in order, joined by "|"; consumes it.
std::string describe(ErrorValue error) {
  std::string out;
  bool multi = error.isA<MultiError>();
  forEachPayload(error, [&](const ErrorPayload &p) {
    if (!out.empty())
      out += "|";
    out += p.message();
  });
  dropError(std::move(error));
  return (multi ? "multi:" : "") + out;
}

TEST(ErrorValueTest, CombineFlattensAndKeepsOrder) {
  EXPECT_FALSE(combineErrors(ErrorValue(), ErrorValue()));
  EXPECT_EQ(describe(combineErrors(text("x"), ErrorValue())), "x");
  EXPECT_EQ(describe(combineErrors(ErrorValue(), text("x"))), "x");
  EXPECT_EQ(describe(combineErrors(text("x"), text("y"))), "multi:x|y");
  EXPECT_EQ(describe(combineErrors(combineErrors(text("x"), text("y")), text("z"))),
            "multi:x|y|z");
  EXPECT_EQ(describe(combineErrors(text("x"), combineErrors(text("y"), text("z")))),
            "multi:x|y|z");
  EXPECT_EQ(describe(combineErrors(combineErrors(text("w"), text("x")),
                                   combineErrors(text("y"), text("z")))),
            "multi:w|x|y|z");
}

TEST(ErrorValueTest, PrintingWritesEachPayloadOnItsOwnLine) {
  std::string out;
  StringOutputStream os(out);
  printAllErrors(combineErrors(text("X"), makeError<LocalError>("Y")), os, "banner:");
  EXPECT_EQ(out, "banner:X\nY\n");

  out.clear();
  printAllErrors(text("t"), os);
  EXPECT_EQ(out, "t\n");

  out.clear();
  printAllErrors(ErrorValue(), os, "unused banner");
  EXPECT_EQ(out, "");

  ErrorValue both = combineErrors(text("a"), text("b"));
  EXPECT_EQ(both.payload()->message(), "Multiple errors:\na\nb\n");
  EXPECT_EQ(errorMessage(std::move(both)), "a\nb");
}

TEST(ErrorValueTest, CodesAndTheirCategory) {
  EXPECT_FALSE(fromErrorCode(std::error_code()));

  ErrorValue missing = fromErrorCode(std::make_error_code(std::errc::no_such_file_or_directory));
  ASSERT_TRUE(missing.isA<CodeError>());
  EXPECT_EQ(missing.payload()->message(), "No such file or directory");
  EXPECT_EQ(toErrorCode(std::move(missing)), std::errc::no_such_file_or_directory);

  EXPECT_EQ(toErrorCode(ErrorValue()), std::error_code());
  // The last payload's code wins.
  std::error_code last = toErrorCode(
      combineErrors(makeTextError(std::make_error_code(std::errc::invalid_argument), "a"),
                    fromErrorCode(std::make_error_code(std::errc::illegal_byte_sequence))));
  EXPECT_EQ(last, std::errc::illegal_byte_sequence);

  EXPECT_STREQ(errorValueCategory().name(), "Error");
  EXPECT_EQ(make_error_code(ErrorValueCode::MultipleErrors).message(), "Multiple errors");
  EXPECT_EQ(make_error_code(ErrorValueCode::FileError).message(), "A file error occurred.");
  ErrorValue multi = combineErrors(text("a"), text("b"));
  EXPECT_EQ(multi.payload()->toErrorCode(), ErrorValueCode::MultipleErrors);
  dropError(std::move(multi));
}

TEST(ErrorValueDeathTest, InconvertibleCodeIsFatal) {
  EXPECT_DEATH(toErrorCode(makeError<LocalError>("engine")),
               "^VARNIX ERROR: Inconvertible error value\\. An error has occurred that could "
               "not be converted to a known std::error_code\\. Please file a bug\\.\n");
}

TEST(ErrorValueDeathTest, UnconsumedErrorAborts) {
#ifndef OSTREL_CHECK_ERRORS
  GTEST_SKIP() << "error checking is compiled out";
#endif
  EXPECT_DEATH({ ErrorValue forgotten = text("lost message"); }, "unhandled error: lost message");
  EXPECT_DEATH(
      {
        ErrorValue first = text("overwritten");
        first = text("second");
        dropError(std::move(first));
      },
      "overwritten");
  EXPECT_DEATH({ ValueOrError<int> forgotten(text("in a ValueOrError")); }, "in a ValueOrError");
  // Successes need no attention.
  { ErrorValue ok; }
  { ValueOrError<int> value(4); }
}

TEST(ErrorValueTest, HandleByKindOffersEachPayloadToTheFirstMatchingHandler) {
  ErrorValue all = combineErrors(
      combineErrors(text("t1"), makeError<LocalError>("l1")),
      combineErrors(makeError<NarrowError>(),
                    fromErrorCode(std::make_error_code(std::errc::invalid_argument))));
  std::string seen;
  ErrorValue rest = handleByKind(
      std::move(all),
      [&](const NarrowError &e) { seen += "narrow(" + e.message() + ")"; },
      [&](LocalError &e) { seen += "local(" + e.message() + ")"; },
      [&](std::unique_ptr<TextError> e) { seen += "text(" + e->message() + ")"; });
  EXPECT_EQ(seen, "text(t1)local(l1)narrow(narrow)");
  // The unhandled code error comes back alone, not wrapped in a list.
  ASSERT_TRUE(rest.isA<CodeError>());
  dropError(std::move(rest));

  // The root kind takes everything; a handler may convert by returning an error.
  ErrorValue converted = handleByKind(
      combineErrors(text("a"), makeError<LocalError>("b")),
      [](const LocalError &e) -> ErrorValue { return text(("converted " + e.message()).c_str()); },
      [](const ErrorPayload &) {});
  EXPECT_EQ(describe(std::move(converted)), "converted b");

  EXPECT_FALSE(handleByKind(ErrorValue(), [](const ErrorPayload &) { FAIL(); }));
}

TEST(ErrorValueTest, ValueOrErrorHoldsOneOrTheOther) {
  ValueOrError<std::string> good("value");
  ASSERT_TRUE(good);
  EXPECT_EQ(*good, "value");
  EXPECT_EQ(good->size(), 5u);
  EXPECT_FALSE(good.takeError());

  ValueOrError<std::unique_ptr<int>> bad(text("failed"));
  ASSERT_FALSE(bad);
  ErrorValue error = bad.takeError();
  EXPECT_TRUE(error.isA<TextError>());
  EXPECT_EQ(errorMessage(std::move(error)), "failed");
}

TEST(FatalErrorDeathTest, FatalPathsWriteOneMessage) {
  EXPECT_EXIT(reportFatal("IO failure on output stream: No space left on device", false),
              testing::ExitedWithCode(1),
              "^VARNIX ERROR: IO failure on output stream: No space left on device\n$");
  EXPECT_EXIT(reportFatal("inconsistency in registered CommandLine options"),
              testing::KilledBySignal(SIGABRT),
              "^VARNIX ERROR: inconsistency in registered CommandLine options\n");
  EXPECT_EXIT(reportOutOfMemory("Allocation failed"), testing::KilledBySignal(SIGABRT),
              "^VARNIX ERROR: out of memory\nAllocation failed\n");
  EXPECT_EXIT(reportUnreachable("unexpected match type", "Dump.cpp", 42),
              testing::KilledBySignal(SIGABRT),
              "^unexpected match type\nUNREACHABLE executed at Dump.cpp:42!\n");
  EXPECT_EXIT(reportUnreachable(nullptr, nullptr, 0), testing::KilledBySignal(SIGABRT),
              "^UNREACHABLE executed!\n");
}

TEST(FatalErrorDeathTest, CleanupHookRunsBeforeExit) {
  EXPECT_EXIT(
      {
        setFatalCleanupHook([] { ssize_t n = ::write(2, "cleanup\n", 8); (void)n; });
        reportFatal("boom", false);
      },
      testing::ExitedWithCode(1), "^VARNIX ERROR: boom\ncleanup\n$");
}

} // namespace

} // namespace ostrel
