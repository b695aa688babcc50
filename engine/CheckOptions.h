#ifndef OSTREL_ENGINE_CHECKOPTIONS_H
#define OSTREL_ENGINE_CHECKOPTIONS_H

/// The settings the driver hands to the check engine. The engine keeps its
/// own copy; the TextRefs in the lists point into strings the driver owns for
/// the whole run (or into string constants for the default prefixes).

#include "support/fs/TextRef.h"

#include <vector>

namespace ostrel {

struct CheckOptions {
  /// Check prefixes; empty means "CHECK", filled in by buildPrefixMatcher.
  std::vector<TextRef> checkPrefixes;
  /// Comment prefixes; empty means "COM" and "RUN", filled in likewise.
  std::vector<TextRef> commentPrefixes;
  /// Keep horizontal whitespace as written.
  bool strictWhitespace = false;
  /// Pattern texts added as NOT patterns in front of every positive directive.
  std::vector<TextRef> implicitCheckNot;
  /// Command-line variable definitions, NAME=VALUE or #[FORMAT,]NAME=EXPR.
  std::vector<TextRef> defines;
  /// An empty input is not an error (read by the driver only).
  bool allowEmpty = false;
  /// A check prefix that never occurs is not an error.
  bool allowUnusedPrefixes = false;
  /// Positive patterns must cover whole input lines.
  bool matchFullLines = false;
  /// Patterns match without regard to letter case.
  bool ignoreCase = false;
  /// Set by buildPrefixMatcher when it supplied the default "CHECK".
  bool defaultPrefixInUse = false;
  /// Local variables are forgotten at every label block after the first.
  bool enableVarScope = false;
  /// DAG matches of one group may overlap.
  bool allowDeprecatedDagOverlap = false;
  /// Report successful matches too.
  bool verbose = false;
  /// Also report end-of-input matches, DAG attempts and absent NOT patterns.
  bool veryVerbose = false;
};

} // namespace ostrel

#endif
