#ifndef OSTREL_SUPPORT_CMDLINE_SINGLEVALUEOPTION_H
#define OSTREL_SUPPORT_CMDLINE_SINGLEVALUEOPTION_H

/// An option holding one value of type T; a later occurrence replaces the
/// value of an earlier one. The value lives in the object unless OptLocation
/// binds it to an outside variable.

#include <functional>

#include "support/cmdline/HelpLayout.h"
#include "support/cmdline/OptionModifiers.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/ValueParser.h"

namespace ostrel {

template <typename T, typename Parser = ValueParser<T>>
class SingleValueOption : public CommandOption {
public:
  template <typename... Mods>
  explicit SingleValueOption(const Mods &...mods)
      : CommandOption(OccurOptional, Shown) {
    (applyOne(mods), ...);
    parser.initialise(*this);
    registerOption();
  }

  const T &get() const { return location ? *location : value; }
  operator const T &() const { return get(); }
  /// Stores a value and calls the callback, as a parsed value would.
  void setValue(const T &newValue) {
    storage() = newValue;
    if (callback)
      callback(get());
  }
  bool hasInitialValue() const { return initialValid; }
  const T &initialValue() const { return initial; }
  Parser &valueParser() { return parser; }
  const Parser &valueParser() const { return parser; }

  bool acceptValue(unsigned pos, TextRef foundName, TextRef text) override {
    T parsed = get();
    if (parser.parse(*this, foundName, text, parsed))
      return true;
    storage() = parsed;
    position = static_cast<uint16_t>(pos);
    if (callback)
      callback(get());
    return false;
  }
  ValueExpectation defaultValueExpectation() const override {
    return parser.defaultValueExpectation(*this);
  }
  size_t helpWidth() const override { return valueOptionWidth(*this, parser); }
  void printHelpLine(size_t globalWidth) const override {
    printValueOption(*this, parser, globalWidth);
  }
  void resetToDefault() override { storage() = initialValid ? initial : T(); }
  void extraNames(std::vector<TextRef> &names) const override {
    parser.extraNames(names);
  }
  void valueWords(std::vector<TextRef> &words) const override {
    appendValueWords(parser, words);
  }

private:
  T &storage() { return location ? *location : value; }

  template <typename M> void applyOne(const M &m) { applyModifier(*this, m); }
  void applyOne(const OptScope &m) { addScope(m.scope); }
  template <typename U> void applyOne(const OptInit<U> &m) {
    initial = T(m.value);
    initialValid = true;
    storage() = initial;
  }
  void applyOne(const OptLocation<T> &m) {
    if (location) {
      error("cl::location(x) specified more than once!");
      return;
    }
    location = &m.variable;
    initial = *location;
    initialValid = true;
  }
  void applyOne(const OptCallback<T> &m) { callback = m.fn; }
  void applyOne(const OptValues &m) {
    for (const EnumLiteral &literal : m.literals)
      parser.addLiteral(*this, literal);
  }

  T value{};
  T initial{};
  bool initialValid = false;
  T *location = nullptr;
  Parser parser;
  std::function<void(const T &)> callback;
};

} // namespace ostrel

#endif
