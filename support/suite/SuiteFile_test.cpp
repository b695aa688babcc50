#include "support/suite/SuiteFile.h"

#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ostrel {

namespace fs = std::filesystem;

namespace {

const SuiteKey runKeys[] = {
    {"suffixes", SuiteValueKind::StringList}, {"timeout", SuiteValueKind::Number},
    {"jobs", SuiteValueKind::Integer},        {"verbose", SuiteValueKind::Boolean},
    {"shell", SuiteValueKind::String},        {"environment", SuiteValueKind::StringTable},
};

/// Every message of `error`, one per line, as a user would read them.
std::string printed(ErrorValue error) {
  std::string text;
  {
    StringOutputStream os(text);
    printAllErrors(std::move(error), os);
  }
  return text;
}

/// What reading [run] from `text` reports; empty when it succeeds.
std::string runTableErrors(const std::string &text) {
  auto file = SuiteFile::parse("suite/ostrel.toml", text);
  if (!file)
    return printed(file.takeError());
  auto table = (*file)->readTable("run", runKeys);
  return table ? std::string() : printed(table.takeError());
}

TEST(SuiteFileTest, ReadsEveryKindOfValue) {
  auto file = SuiteFile::parse("ostrel.toml", R"(# a suite
[run]
suffixes = [".test", ".ll"]
timeout = 2.5
jobs = 4
verbose = true
shell = "bash"
[run.environment]
LC_ALL = "C"
HOME = "/tmp"
[lint]
anything = 1
)");
  ASSERT_TRUE(file);
  auto table = (*file)->readTable("run", runKeys);
  ASSERT_TRUE(table);
  EXPECT_EQ(*table->get<std::vector<std::string>>("suffixes"),
            (std::vector<std::string>{".test", ".ll"}));
  EXPECT_EQ(*table->get<double>("timeout"), 2.5);
  EXPECT_EQ(*table->get<int64_t>("jobs"), 4);
  EXPECT_EQ(*table->get<bool>("verbose"), true);
  EXPECT_EQ(*table->get<std::string>("shell"), "bash");
  SuiteStringTable environment = *table->get<SuiteStringTable>("environment");
  std::sort(environment.begin(), environment.end());
  EXPECT_EQ(environment, (SuiteStringTable{{"HOME", "/tmp"}, {"LC_ALL", "C"}}));
  EXPECT_EQ(table->find("suffixes")->line, 3u);
  EXPECT_EQ(table->find("suffixes")->column, 1u);
}

TEST(SuiteFileTest, AnIntegerIsANumberButNotTheReverse) {
  auto file = SuiteFile::parse("ostrel.toml", "[run]\ntimeout = 60\n");
  ASSERT_TRUE(file);
  auto table = (*file)->readTable("run", runKeys);
  ASSERT_TRUE(table);
  EXPECT_EQ(*table->get<double>("timeout"), 60.0);
  EXPECT_EQ(runTableErrors("[run]\njobs = 1.5\n"),
            "suite/ostrel.toml:2:8: error: 'jobs' in [run] must be an integer\n");
}

TEST(SuiteFileTest, AnAbsentTableReadsAsEmpty) {
  for (const char *text : {"", "# nothing\n", "[lint]\nx = 1\n"}) {
    auto file = SuiteFile::parse("ostrel.toml", text);
    ASSERT_TRUE(file) << text;
    auto table = (*file)->readTable("run", runKeys);
    ASSERT_TRUE(table) << text;
    EXPECT_TRUE(table->settings().empty()) << text;
  }
}

TEST(SuiteFileTest, ProblemsAreLocatedAndReportedInFileOrder) {
  struct Case {
    const char *text;
    const char *errors;
  } cases[] = {
      {"[run]\nsuffixes = \".test\"\n",
       "suite/ostrel.toml:2:12: error: 'suffixes' in [run] must be an array of strings\n"},
      {"[run]\nsuffixes = [\".t\", 3]\n",
       "suite/ostrel.toml:2:12: error: 'suffixes' in [run] must be an array of strings\n"},
      {"[run]\nverbose = \"yes\"\n",
       "suite/ostrel.toml:2:11: error: 'verbose' in [run] must be true or false\n"},
      {"[run]\nenvironment = \"C\"\n",
       "suite/ostrel.toml:2:15: error: 'environment' in [run] must be a table of strings\n"},
      {"[run.environment]\nLC_ALL = 1\n",
       "suite/ostrel.toml:2:10: error: 'LC_ALL' in [run.environment] must be a string\n"},
      {"run = 3\n", "suite/ostrel.toml:1:7: error: 'run' must be a table\n"},
      // Keys are kept sorted by the parser; the report follows the file.
      {"[run]\nzeta = 1\nalpha = 2\ntimeout = \"x\"\n",
       "suite/ostrel.toml:2:1: error: unknown key 'zeta' in [run]\n"
       "suite/ostrel.toml:3:1: error: unknown key 'alpha' in [run]\n"
       "suite/ostrel.toml:4:11: error: 'timeout' in [run] must be a number\n"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(runTableErrors(c.text), c.errors) << c.text;
}

TEST(SuiteFileTest, BadTomlIsALocatedError) {
  std::string errors = runTableErrors("[run]\ntimeout = \n");
  EXPECT_EQ(errors.rfind("suite/ostrel.toml:2:", 0), 0u) << errors;
  EXPECT_NE(errors.find(": error: "), std::string::npos) << errors;
  errors = runTableErrors("[run]\na = 1\n[run]\n");
  EXPECT_EQ(errors.rfind("suite/ostrel.toml:3:", 0), 0u) << errors;
}

class SuiteFileFolderTest : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/suitefile-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    top_ = pattern;
    previous_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(top_);
  }
  void write(const fs::path &path, const std::string &text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  fs::path top_;
  fs::path previous_;
};

TEST_F(SuiteFileFolderTest, TheNearestFileAtOrAboveAPathIsTheRoot) {
  write(top_ / "suite/ostrel.toml", "");
  write(top_ / "suite/inner/deep/a.test", "");
  write(top_ / "suite/nested/ostrel.toml", "");
  EXPECT_EQ(SuiteFile::findRoot((top_ / "suite/inner/deep/a.test").string()),
            (top_ / "suite").string());
  EXPECT_EQ(SuiteFile::findRoot((top_ / "suite/inner/deep").string()),
            (top_ / "suite").string());
  EXPECT_EQ(SuiteFile::findRoot((top_ / "suite/nested").string()),
            (top_ / "suite/nested").string());
  EXPECT_EQ(SuiteFile::findRoot((top_ / "suite/missing.test").string()),
            (top_ / "suite").string());
  EXPECT_EQ(SuiteFile::findRoot(top_.string()), "");

  // From a relative path, a root below the current folder stays relative.
  fs::current_path(top_);
  EXPECT_EQ(SuiteFile::findRoot("suite/inner/deep/a.test"), "suite");
  fs::current_path(top_ / "suite/inner");
  EXPECT_EQ(SuiteFile::findRoot("deep/a.test"), (top_ / "suite").string());
  fs::current_path(top_ / "suite");
  EXPECT_EQ(SuiteFile::findRoot("."), ".");
}

TEST_F(SuiteFileFolderTest, LoadReadsTheFileAndNamesItInErrors) {
  write(top_ / "ostrel.toml", "[run]\nbad = 1\n");
  auto file = SuiteFile::load((top_ / "ostrel.toml").string());
  ASSERT_TRUE(file);
  auto table = (*file)->readTable("run", runKeys);
  ASSERT_FALSE(table);
  EXPECT_EQ(printed(table.takeError()),
            (top_ / "ostrel.toml").string() + ":2:1: error: unknown key 'bad' in [run]\n");

  auto missing = SuiteFile::load((top_ / "none/ostrel.toml").string());
  ASSERT_FALSE(missing);
  EXPECT_EQ(printed(missing.takeError()),
            (top_ / "none/ostrel.toml").string() +
                ":1:1: error: cannot read the suite file: No such file or directory\n");
}

} // namespace

} // namespace ostrel
