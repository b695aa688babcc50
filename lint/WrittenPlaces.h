#ifndef OSTREL_LINT_WRITTENPLACES_H
#define OSTREL_LINT_WRITTENPLACES_H

/// Maps places in a prepared check text (line ends made line feeds, runs of
/// blanks folded into one) back to the places in the file as written, so
/// that findings show the columns and lines that the author sees.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <vector>

namespace ostrel {

class WrittenPlaces {
public:
  /// `prepared` is what preparing `written` gave, blanks folded unless
  /// `strictWhitespace`.
  WrittenPlaces(TextRef written, TextRef prepared, bool strictWhitespace);

  /// The offset in the written text of the character at `preparedOffset`
  /// (the end maps to the end). A folded blank maps to the first blank of
  /// its run.
  size_t writtenOffset(size_t preparedOffset) const;

private:
  /// From `preparedOffset` on, written offsets are this much larger; sorted.
  struct Shift {
    size_t preparedOffset;
    size_t shift;
  };
  std::vector<Shift> shifts;
};

} // namespace ostrel

#endif
