#include "support/cmdline/OptionRegistry.h"

#include <gtest/gtest.h>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/cmdline/HelpPrinter.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

using Flag = SingleValueOption<bool>;

TEST(OptionRegistry, FlagsWordLayout) {
  Flag option(OptName{"reg-layout"}, OptHelp{"x"}, OccurAtLeastOnce,
              ValueDisallowed, HiddenEverywhere, PrefixForm, SplitOnCommas,
              CatchesUnmatched);
  // rule 3, expectation 3 << 3, visibility 2 << 5, form 2 << 7, misc bits
  // 9 and 11, registered bit 14.
  uint16_t expected = 3 | (3 << 3) | (2 << 5) | (2 << 7) | (1 << 9) |
                      (1 << 11) | (1 << 14);
  EXPECT_EQ(option.flags, expected);
  Flag single(OptName{"Z"}, OptHelp{"z"});
  EXPECT_TRUE(single.hasMisc(Groupable));
  topLevelScope().options.erase("reg-layout");
  topLevelScope().catchAll.clear();
  topLevelScope().options.erase("Z");
}

TEST(OptionRegistry, AllScopesOptionIsFoundInTopLevelScope) {
  static Flag wide(OptName{"reg-wide"}, OptHelp{"w"}, OptScope{allScopes()});
  EXPECT_EQ(topLevelScope().options.find("reg-wide"), &wide);
  EXPECT_EQ(allScopes().options.find("reg-wide"), &wide);
}

TEST(OptionRegistry, RenamingFreesTheOldName) {
  static Flag first(OptName{"reg-old"}, OptHelp{"1"});
  first.setName("reg-new");
  EXPECT_EQ(topLevelScope().options.find("reg-new"), &first);
  EXPECT_EQ(topLevelScope().options.find("reg-old"), nullptr);
  static Flag second(OptName{"reg-old"}, OptHelp{"2"});
  EXPECT_EQ(topLevelScope().options.find("reg-old"), &second);

  static Flag wide(OptName{"reg-wide-old"}, OptHelp{"w"},
                   OptScope{allScopes()});
  wide.setName("reg-wide-new");
  for (CommandScope *scope : {&topLevelScope(), &allScopes()}) {
    EXPECT_EQ(scope->options.find("reg-wide-new"), &wide);
    EXPECT_EQ(scope->options.find("reg-wide-old"), nullptr);
  }
}

TEST(OptionRegistry, NamedCategoryReplacesTheDefault) {
  static HelpCategory mine("Reg Category");
  static Flag option(OptName{"reg-cat"}, OptHelp{"c"}, OptCategory{mine},
                     OptCategory{genericCategory()}, OptCategory{mine});
  ASSERT_EQ(option.categories.size(), 2u);
  EXPECT_EQ(option.categories[0], &mine);
  EXPECT_EQ(option.categories[1], &genericCategory());
  static Flag plain(OptName{"reg-plain"}, OptHelp{"p"},
                    OptCategory{generalCategory()});
  EXPECT_EQ(plain.categories, std::vector<HelpCategory *>{&generalCategory()});
}

TEST(OptionRegistry, LocationBindsStorageOnce) {
  bool outside = true, other = false;
  testing::internal::CaptureStderr();
  OptionRegistry::get().programName = "tool";
  Flag option(OptHelp{"loc"}, OptLocation<bool>{outside},
              OptLocation<bool>{other});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "loc option: cl::location(x) specified more than once!\n");
  EXPECT_TRUE(option.hasInitialValue());
  EXPECT_TRUE(option.initialValue());
  EXPECT_FALSE(option.acceptValue(1, "", "false"));
  EXPECT_FALSE(outside);
  EXPECT_FALSE(other);
}

TEST(OptionRegistry, AliasDefinitionErrorsAreMessagesOnly) {
  static Flag target(OptName{"reg-target"}, OptHelp{"t"},
                     OptScope{allScopes()});
  static Flag spare(OptName{"reg-spare"}, OptHelp{"s"});
  OptionRegistry::get().programName = "tool";
  testing::internal::CaptureStderr();
  static AliasOption twice(OptName{"reg-twice"}, OptAliasOf{spare},
                           OptAliasOf{target}, OptScope{topLevelScope()});
  static AliasOption nameless(OptAliasOf{target}, OptHelp{"nameless alias"});
  static AliasOption aimless(OptName{"reg-aimless"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "tool: for the --reg-twice option: cl::alias must only have one "
            "cl::aliasopt(...) specified!\n"
            "tool: for the --reg-twice option: cl::alias must not have "
            "cl::sub(), aliased option's cl::sub() will be used!\n"
            "nameless alias option: cl::alias must have argument name "
            "specified!\n"
            "tool: for the --reg-aimless option: cl::alias must have an "
            "cl::aliasopt(option) specified!\n");
  EXPECT_EQ(twice.target(), &target);
  EXPECT_EQ(twice.scopes, target.scopes);
  EXPECT_EQ(twice.visibility(), HiddenInHelp);
  EXPECT_EQ(topLevelScope().options.find("reg-aimless"), nullptr);
}

TEST(OptionRegistryDeathTest, TakenNameEndsTheProgram) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        Flag one(OptName{"reg-dup"}, OptHelp{"1"});
        Flag two(OptName{"reg-dup"}, OptHelp{"2"});
      },
      ": CommandLine Error: Option 'reg-dup' registered more than once!\n"
      "VARNIX ERROR: inconsistency in registered CommandLine options\n");
}

void registerScopeAfterKeylessOptions() {
  static SingleValueOption<std::string> catcher(
      OptHelp{"catch"}, CatchesUnmatched, OptScope{allScopes()});
  static ListOption<std::string> after(OptHelp{"after"}, ConsumeAfter,
                                       OptScope{allScopes()});
  static CommandScope late;
  OptionRegistry::get().registerScope(late);
  bool handedOver =
      late.catchAll == std::vector<CommandOption *>{&catcher} &&
      late.consumeAfter == &after;
  std::exit(handedOver ? 0 : 1);
}

TEST(OptionRegistryDeathTest, NewScopeReceivesKeylessOptionsOfAllScopes) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(registerScopeAfterKeylessOptions(), testing::ExitedWithCode(0),
              "");
}

void parseOwnH() {
  Flag mine(OptName{"h"}, OptHelp{"mine"});
  const char *argv[] = {"prog", "-h"};
  parseCommandLine(2, argv);
  std::exit(mine.get() ? 3 : 4);
}

TEST(OptionRegistryDeathTest, ToolOptionNamedHKeepsIt) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(parseOwnH(), testing::ExitedWithCode(3), "");
}

} // namespace

} // namespace ostrel
