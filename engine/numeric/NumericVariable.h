#ifndef OSTREL_ENGINE_NUMERIC_NUMERICVARIABLE_H
#define OSTREL_ENGINE_NUMERIC_NUMERICVARIABLE_H

/// A numeric variable of a check file or of a command-line definition (or the
/// pseudo variable "@LINE"). The VariableContext owns every one of them; the
/// variable table, expression nodes and patterns only refer to them.

#include "engine/numeric/NumberFormat.h"
#include "engine/numeric/NumericValue.h"
#include "support/fs/TextRef.h"

#include <cstddef>
#include <optional>

namespace ostrel {

struct NumericVariable {
  /// Points into the check file or the "Global defines" buffer, or is the
  /// literal "@LINE".
  TextRef name;
  NumberFormat format;
  /// Absent until a match, a definition or the line number sets it.
  std::optional<NumericValue> value;
  /// The input text the value was read from, when it was captured.
  std::optional<TextRef> capturedText;
  /// The line of the directive whose pattern defines the variable.
  std::optional<size_t> definedOnLine;

  NumericVariable(TextRef name, NumberFormat format,
                  std::optional<size_t> definedOnLine = std::nullopt)
      : name(name), format(format), definedOnLine(definedOnLine) {}

  void setValue(NumericValue newValue, std::optional<TextRef> captured = std::nullopt) {
    value = newValue;
    capturedText = captured;
  }
  void clearValue() {
    value.reset();
    capturedText.reset();
  }
};

} // namespace ostrel

#endif
