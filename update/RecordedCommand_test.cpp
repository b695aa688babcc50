#include "update/RecordedCommand.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(RecordedCommand, ReadsBackWhatItRecords) {
  GeneratorOptions options;
  options.labels = {"^define", "it's [a-z]+"};
  options.scrubs = {"hex", "ID=id-\\d+", "W=a b"};
  options.scrubNumbers = true;
  options.whole = true;
  for (TextRef prefix : {"CHECK", "FOO"}) {
    std::string body = recordLineBody(prefix, options);
    std::optional<std::string> text = recordedText(body, prefix);
    ASSERT_TRUE(text) << body;
    ValueOrError<GeneratorOptions> read = recordedOptions(*text);
    ASSERT_TRUE(read) << errorMessage(read.takeError());
    EXPECT_EQ(read->labels, options.labels);
    EXPECT_EQ(read->scrubs, options.scrubs);
    EXPECT_TRUE(read->scrubNumbers && read->whole);
    EXPECT_FALSE(recordedText(body, prefix == "CHECK" ? "FOO" : "CHECK")) << body;
  }
  EXPECT_EQ(recordLineBody("CHECK", options),
            "UPDATE: '--label=^define' --label=it\\'s\\ \\[a-z\\]+ --scrub=hex "
            "--scrub=ID=id-\\\\d+ '--scrub=W=a b' --scrub-numbers --whole");
}

TEST(RecordedCommand, RefusesWhatIsNoGeneratorOption) {
  for (TextRef text : {"--strict-whitespace", "--label", "x"}) {
    ValueOrError<GeneratorOptions> read = recordedOptions(text);
    ASSERT_FALSE(read) << text;
    EXPECT_NE(errorMessage(read.takeError()).find("is not an option the record may hold"),
              std::string::npos);
  }
}

} // namespace

} // namespace ostrel
