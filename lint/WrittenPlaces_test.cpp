#include "lint/WrittenPlaces.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(WrittenPlacesTest, EveryPreparedCharacterMapsToItsWrittenOne) {
  const char *texts[] = {
      "plain\ntext\n",
      "// CHECK:       popcntl %edi, %e{{\\w+}}\n",
      "a\t \tb  c\r\nd \r\n\r\n  e",
      "tab\there\rlone return\r",
      "",
  };
  for (bool strict : {false, true}) {
    for (TextRef written : texts) {
      CheckOptions options;
      options.strictWhitespace = strict;
      DiagnosticRecorder reports;
      std::string store;
      TextRef prepared = CheckEngine(options, reports).prepareText(written, store);
      WrittenPlaces places(written, prepared, strict);
      for (size_t at = 0; at < prepared.size(); ++at) {
        char shown = written[places.writtenOffset(at)];
        EXPECT_TRUE(shown == prepared[at] || (prepared[at] == ' ' && shown == '\t') ||
                    (prepared[at] == '\n' && shown == '\r'))
            << written << " at " << at;
        if (at > 0) {
          EXPECT_LT(places.writtenOffset(at - 1), places.writtenOffset(at)) << written;
        }
      }
      EXPECT_EQ(places.writtenOffset(prepared.size()), written.size()) << written;
    }
  }
}

} // namespace

} // namespace ostrel
