#ifndef OSTREL_SUPPORT_DIAG_COLOURSCOPE_H
#define OSTREL_SUPPORT_DIAG_COLOURSCOPE_H

/// The decision whether text is coloured, and the scope that colours it. A
/// caller's policy can force colours on or off; in automatic mode the "color"
/// option decides when it was given, and otherwise the stream's destination.

#include "support/diag/OutputStream.h"

#include <cstdint>

namespace ostrel {

enum class ColourPolicy { Auto = 0, Enable = 1, Disable = 2 };

/// Process-wide colour preference: 0 unset, 1 true, 2 false. The "color"
/// option stores its value here; the automatic decision reads it.
extern int32_t colourPreference;
constexpr int32_t ColourPreferenceUnset = 0;
constexpr int32_t ColourPreferenceTrue = 1;
constexpr int32_t ColourPreferenceFalse = 2;

/// Whether text written to `os` under `policy` is coloured. Automatic mode
/// follows the colour preference when it is set; unset, it answers yes when
/// the stream supports colours and the NO_COLOR environment variable is unset
/// or empty.
bool coloursWanted(const OutputStream &os, ColourPolicy policy);

/// Switches colours on for its lifetime when coloursWanted says so, and resets
/// them when it ends.
class ColourScope {
public:
  ColourScope(OutputStream &os, ColourStyle style, ColourPolicy policy = ColourPolicy::Auto);
  ~ColourScope();
  ColourScope(const ColourScope &) = delete;
  ColourScope &operator=(const ColourScope &) = delete;

  /// Whether this scope emits colours.
  bool showsColours() const;

private:
  OutputStream &os_;
  ColourPolicy policy_;
};

} // namespace ostrel

#endif
