#ifndef OSTREL_ENGINE_SEARCHRESULT_H
#define OSTREL_ENGINE_SEARCHRESULT_H

/// The outcome of searching one pattern in one range of the input.

#include "support/diag/ErrorValue.h"

#include <cstddef>
#include <utility>

namespace ostrel {

struct SearchResult {
  /// Offset of the match from the start of the searched range.
  size_t pos = 0;
  /// Length of the match.
  size_t len = 0;
  /// pos and len are meaningful only when found.
  bool found = false;
  /// Never empty when !found (the not-found error or what prevented the
  /// search); when found, holds the error of a captured number that could not
  /// be read. The receiver must consume it.
  ErrorValue error;

  static SearchResult makeFound(size_t pos, size_t len, ErrorValue error = ErrorValue()) {
    SearchResult result;
    result.pos = pos;
    result.len = len;
    result.found = true;
    result.error = std::move(error);
    return result;
  }
  static SearchResult makeNotFound(ErrorValue error) {
    SearchResult result;
    result.error = std::move(error);
    return result;
  }
};

} // namespace ostrel

#endif
