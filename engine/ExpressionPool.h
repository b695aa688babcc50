#ifndef OSTREL_ENGINE_EXPRESSIONPOOL_H
#define OSTREL_ENGINE_EXPRESSIONPOOL_H

/// The compiled expressions that the patterns of one check file share, found
/// by their text: directives repeat, and one compiled form (with its cached
/// automata) serves every pattern with the same expression. An entry that no
/// pattern holds any more is dropped as the pool grows, so a check file read
/// step by step keeps about as many entries as the steps held need.
/// Tested through CheckFileReader_test.cpp.

#include "engine/numeric/VariableContext.h"
#include "support/fs/TextRef.h"

#include <cstddef>
#include <memory>

namespace ostrel {

struct PatternRegexCache;

class ExpressionPool {
public:
  /// The entry for `text`: the one the pool holds, or a new one (compiled at
  /// its first search). The caller keeps it as long as it needs it.
  std::shared_ptr<PatternRegexCache> entry(TextRef text);
  /// How many entries the pool holds.
  size_t size() const { return entries.size(); }

private:
  /// Fewer entries than this are never worth a sweep.
  static constexpr size_t minimumSweep = 64;

  NameMap<std::shared_ptr<PatternRegexCache>> entries;
  /// The size at which entries that no pattern holds are swept out: twice the
  /// entries held after the last sweep, so that sweeping costs a constant
  /// share of the entries made.
  size_t sweepAt = minimumSweep;
};

} // namespace ostrel

#endif
