#ifndef OSTREL_SUPPORT_CMDLINE_LISTOPTION_H
#define OSTREL_SUPPORT_CMDLINE_LISTOPTION_H

/// An option collecting every value it is given, in argument order, with the
/// argument position of each value beside it.

#include <functional>
#include <vector>

#include "support/cmdline/HelpLayout.h"
#include "support/cmdline/OptionModifiers.h"
#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/ValueParser.h"

namespace ostrel {

/// Lists the option as "  -name - help" with one dash whatever the name's
/// length (the debug-counter style).
struct OptCompactHelp {};

template <typename T, typename Parser = ValueParser<T>>
class ListOption : public CommandOption {
public:
  template <typename... Mods>
  explicit ListOption(const Mods &...mods) : CommandOption(OccurAny, Shown) {
    (applyOne(mods), ...);
    parser.initialise(*this);
    registerOption();
  }

  const std::vector<T> &values() const { return location ? *location : list; }
  const std::vector<uint32_t> &positions() const { return positionList; }
  Parser &valueParser() { return parser; }
  const Parser &valueParser() const { return parser; }

  bool acceptValue(unsigned pos, TextRef foundName, TextRef text) override {
    T parsed{};
    if (parser.parse(*this, foundName, text, parsed))
      return true;
    storage().push_back(parsed);
    positionList.push_back(pos);
    position = static_cast<uint16_t>(pos);
    if (callback)
      callback(parsed);
    return false;
  }
  ValueExpectation defaultValueExpectation() const override {
    return parser.defaultValueExpectation(*this);
  }
  size_t helpWidth() const override {
    return compactHelp ? name.size() + 6 : valueOptionWidth(*this, parser);
  }
  void printHelpLine(size_t globalWidth) const override {
    if (!compactHelp) {
      printValueOption(*this, parser, globalWidth);
      return;
    }
    std::string out("  -");
    out.append(name);
    appendHelpLine(out, help, name.size() + 6, globalWidth);
    writeOptionOutput(out);
  }
  void resetToDefault() override {
    storage().clear();
    positionList.clear();
  }
  void extraNames(std::vector<TextRef> &names) const override {
    parser.extraNames(names);
  }
  void valueWords(std::vector<TextRef> &words) const override {
    appendValueWords(parser, words);
  }

private:
  std::vector<T> &storage() { return location ? *location : list; }

  template <typename M> void applyOne(const M &m) { applyModifier(*this, m); }
  void applyOne(const OptScope &m) { addScope(m.scope); }
  void applyOne(const OptCompactHelp &) { compactHelp = true; }
  void applyOne(const OptLocation<std::vector<T>> &m) {
    if (location) {
      error("cl::location(x) specified more than once!");
      return;
    }
    location = &m.variable;
  }
  void applyOne(const OptCallback<T> &m) { callback = m.fn; }
  void applyOne(const OptValues &m) {
    for (const EnumLiteral &literal : m.literals)
      parser.addLiteral(*this, literal);
  }

  std::vector<T> list;
  std::vector<uint32_t> positionList;
  std::vector<T> *location = nullptr;
  Parser parser;
  std::function<void(const T &)> callback;
  bool compactHelp = false;
};

} // namespace ostrel

#endif
