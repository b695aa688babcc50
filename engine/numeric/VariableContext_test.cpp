#include "engine/numeric/VariableContext.h"

#include "engine/numeric/NumericTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

using enum NumberKind;

struct Definitions {
  SourceRegistry registry;
  VariableContext context;
  std::string printed; // errors as the reader prints them

  explicit Definitions(std::vector<TextRef> definitions) {
    printed = printedErrors(context.applyCommandLineDefinitions(definitions, registry));
  }
  std::optional<std::string> string(TextRef name) const {
    std::optional<TextRef> value = context.stringValue(name);
    return value ? std::optional<std::string>(std::string(*value)) : std::nullopt;
  }
  std::optional<NumericValue> numeric(TextRef name) const {
    NumericVariable *variable = context.lookupNumeric(name);
    return variable ? variable->value : std::nullopt;
  }
};

TEST(CommandLineDefinitionsTest, ListingBuffer) {
  Definitions defs({"#%x,N=10", "V=a=b", "#M = N + 1"});
  EXPECT_EQ(defs.printed, "");
  ASSERT_EQ(defs.registry.bufferCount(), 1u);
  const FileBuffer &listing = defs.registry.buffer(1);
  EXPECT_EQ(listing.bufferName(), "Global defines");
  EXPECT_EQ(listing.text(), "Global define #1: #%x,N=10 (parsed as: [[#%x,N:10]])\n"
                            "Global define #2: V=a=b\n"
                            "Global define #3: #M = N + 1 (parsed as: [[#M : N + 1]])\n");
  // Names and values point into the listing.
  TextRef value = *defs.context.stringValue("V");
  EXPECT_EQ(value, "a=b");
  EXPECT_EQ(defs.registry.findBuffer(value.data()), 1u);
  NumericVariable *n = defs.context.lookupNumeric("N");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(defs.registry.findBuffer(n->name.data()), 1u);
  EXPECT_EQ(n->format, NumberFormat(LowerHex));
  EXPECT_EQ(n->value, NumericValue::fromUnsigned(10)); // 10 is a decimal literal
  EXPECT_FALSE(n->capturedText);
  EXPECT_FALSE(n->definedOnLine);
  EXPECT_EQ(defs.context.lookupNumeric("M")->format, NumberFormat(LowerHex));
  EXPECT_EQ(defs.numeric("M"), NumericValue::fromUnsigned(11));
  EXPECT_TRUE(defs.context.isStringName("V"));
}

TEST(CommandLineDefinitionsTest, NoDefinitionsAddNoBuffer) {
  Definitions defs({});
  EXPECT_EQ(defs.printed, "");
  EXPECT_EQ(defs.registry.bufferCount(), 0u);
}

TEST(CommandLineDefinitionsTest, ValuesInOrder) {
  Definitions repeatedString({"VAR=a", "VAR=b"});
  EXPECT_EQ(repeatedString.printed, "");
  EXPECT_EQ(repeatedString.string("VAR"), "a"); // the first value stays

  Definitions repeatedNumeric({"#N=1", "#N=2"});
  EXPECT_EQ(repeatedNumeric.printed, "");
  EXPECT_EQ(repeatedNumeric.numeric("N"), NumericValue::fromUnsigned(2)); // the last wins

  Definitions chained({"#N=1", "#M=N+1", "$G=", "E="});
  EXPECT_EQ(chained.printed, "");
  EXPECT_EQ(chained.numeric("M"), NumericValue::fromUnsigned(2));
  EXPECT_EQ(chained.string("$G"), "");
  EXPECT_EQ(chained.string("E"), "");

  Definitions hex({"#%x,N=0xff", "#%d,S=-3", "#%.4,P=5"});
  EXPECT_EQ(hex.printed, "");
  EXPECT_EQ(hex.numeric("N"), NumericValue::fromUnsigned(255));
  EXPECT_EQ(hex.numeric("S"), NumericValue::fromSigned(-3));
  EXPECT_EQ(hex.context.lookupNumeric("P")->format, NumberFormat(Unsigned, 4));
}

TEST(CommandLineDefinitionsTest, EveryDefinitionIsProcessedAndEveryErrorReported) {
  // A use before the definition fails, but the later definition still applies.
  Definitions early({"#M=N+1", "#N=1"});
  EXPECT_EQ(early.printed, "undefined variable: N\n");
  EXPECT_EQ(early.numeric("N"), NumericValue::fromUnsigned(1));
  EXPECT_EQ(early.context.lookupNumeric("M"), nullptr);

  Definitions several({"@X=1", "#%x,N=ff", "GOOD=1", "#O=18446744073709551615+1", "X$=1"});
  EXPECT_EQ(several.printed,
            "Global defines:1:19: error: invalid name in string variable definition '@X'\n"
            "Global define #1: @X=1\n"
            "                  ^\n"
            "\n"
            "undefined variable: ff\n"
            "overflow error\n"
            "Global defines:5:19: error: invalid name in string variable definition 'X$'\n"
            "Global define #5: X$=1\n"
            "                  ^\n"
            "\n");
  EXPECT_EQ(several.string("GOOD"), "1");
  EXPECT_FALSE(several.context.lookupNumeric("O"));
}

TEST(CommandLineDefinitionsTest, ConflictsBetweenDefinitions) {
  struct Case {
    std::vector<TextRef> definitions;
    const char *printed;
  } cases[] = {
      {{"#N=1", "#%x,N=2"},
       "Global defines:2:46: error: format different from previous variable definition\n"
       "Global define #2: #%x,N=2 (parsed as: [[#%x,N:2]])\n"
       "                                             ^\n\n"},
      {{"#N=1", "N=x"},
       "Global defines:2:19: error: numeric variable with name 'N' already exists\n"
       "Global define #2: N=x\n"
       "                  ^\n\n"},
      {{"N=x", "#N=1"},
       "Global defines:2:39: error: string variable with name 'N' already exists\n"
       "Global define #2: #N=1 (parsed as: [[#N:1]])\n"
       "                                      ^\n\n"},
      {{"1X=2"},
       "Global defines:1:19: error: invalid variable name\n"
       "Global define #1: 1X=2\n"
       "                  ^\n\n"},
      {{"#N="},
       "Global defines:1:40: error: missing numeric expression in command-line definition\n"
       "Global define #1: #N= (parsed as: [[#N:]])\n"
       "                                       ^\n\n"},
      {{"#%x,N=  "},
       "Global defines:1:48: error: missing numeric expression in command-line definition\n"
       "Global define #1: #%x,N=   (parsed as: [[#%x,N:  ]])\n"
       "                                               ^\n\n"},
      {{"#=1"},
       "Global defines:1:38: error: empty variable name\n"
       "Global define #1: #=1 (parsed as: [[#:1]])\n"
       "                                     ^\n\n"},
      {{"#@LINE=1"},
       "Global defines:1:43: error: definition of pseudo numeric variable unsupported\n"
       "Global define #1: #@LINE=1 (parsed as: [[#@LINE:1]])\n"
       "                                          ^\n\n"},
  };
  for (const Case &c : cases) {
    Definitions defs(c.definitions);
    EXPECT_EQ(defs.printed, c.printed) << c.definitions.back();
  }
}

TEST(VariableContextTest, ForgetLocalVariables) {
  SourceRegistry registry;
  VariableContext context;
  TextRef text = addText(registry, "value");
  context.setStringValue("$G", text);
  context.setStringValue("L", text);
  context.markStringName("L");
  NumericVariable &global = context.makeNumericVariable("$N", NumberFormat(Signed), 3);
  context.setNumericValue(global, NumericValue::fromSigned(-1), text);
  context.enterNumeric("$N", global);
  NumericVariable &local = context.makeNumericVariable("N", NumberFormat(LowerHex), 4);
  context.setNumericValue(local, NumericValue::fromUnsigned(5), text);
  context.enterNumeric("N", local);
  NumericVariable &line = context.createLineNumberVariable();
  line.setValue(NumericValue::fromUnsigned(9));

  context.forgetLocalVariables();

  EXPECT_EQ(context.stringValue("$G"), text);
  EXPECT_FALSE(context.stringValue("L"));
  EXPECT_TRUE(context.isStringName("L"));
  EXPECT_EQ(context.lookupNumeric("$N"), &global);
  EXPECT_EQ(global.value, NumericValue::fromSigned(-1));
  EXPECT_EQ(global.capturedText, text);
  EXPECT_EQ(context.lookupNumeric("N"), nullptr);
  EXPECT_FALSE(local.value);
  EXPECT_FALSE(local.capturedText);
  EXPECT_EQ(local.format, NumberFormat(LowerHex));
  EXPECT_EQ(local.definedOnLine, 4u);
  // "@LINE" leaves the table but stays the line number variable.
  EXPECT_EQ(context.lookupNumeric("@LINE"), nullptr);
  EXPECT_EQ(context.lineNumberVariable, &line);
  EXPECT_FALSE(line.value);
  EXPECT_EQ(context.ownedVariables.size(), 3u);
}

// Every label block starts without local values, not only the first: a
// variable valued again after one forgetting loses its value at the next,
// whether or not its name is still in the table.
TEST(VariableContextTest, LocalValuesAreForgottenEveryTime) {
  using Forget = void (VariableContext::*)();
  for (Forget forget :
       {&VariableContext::forgetLocalVariables, &VariableContext::forgetLocalValues}) {
    VariableContext context;
    NumericVariable &global = context.makeNumericVariable("$G", NumberFormat(Unsigned));
    NumericVariable &local = context.makeNumericVariable("N", NumberFormat(Unsigned));
    context.enterNumeric("$G", global);
    context.enterNumeric("N", local);
    for (unsigned block = 1; block <= 3; ++block) {
      context.setNumericValue(local, NumericValue::fromUnsigned(block));
      context.setNumericValue(local, NumericValue::fromUnsigned(block + 10));
      context.setNumericValue(global, NumericValue::fromUnsigned(block));
      (context.*forget)();
      EXPECT_FALSE(local.value) << block;
      EXPECT_EQ(global.value, NumericValue::fromUnsigned(block)) << block;
    }
  }
}

TEST(VariableContextTest, LineNumberVariable) {
  VariableContext context;
  EXPECT_EQ(context.lineNumberVariable, nullptr);
  NumericVariable &line = context.createLineNumberVariable();
  EXPECT_EQ(line.name, "@LINE");
  EXPECT_EQ(line.format, NumberFormat(Unsigned));
  EXPECT_FALSE(line.value);
  EXPECT_FALSE(line.definedOnLine);
  EXPECT_EQ(context.lookupNumeric("@LINE"), &line);
  EXPECT_EQ(context.lineNumberVariable, &line);
}

TEST(VariableContextTest, TableUpdates) {
  VariableContext context;
  NumericVariable &first = context.makeNumericVariable("N", NumberFormat(Unsigned));
  NumericVariable &second = context.makeNumericVariable("N", NumberFormat(Unsigned));
  context.enterNumeric("N", first);
  context.enterNumeric(std::string("N"), second); // replaces
  EXPECT_EQ(context.lookupNumeric("N"), &second);
  context.setStringValue("S", "a");
  context.setStringValue("S", "b");
  EXPECT_EQ(context.stringValue("S"), "b");
}

} // namespace

} // namespace ostrel
