#ifndef OSTREL_UPDATE_RECORDEDCOMMAND_H
#define OSTREL_UPDATE_RECORDEDCOMMAND_H

/// The command a test file records: the updater's own generator options
/// (labels, scrubbers, numbers, whole lines) in one comment line of the file,
/// "; UPDATE: --label='^define' --scrub=hex", so that a later refresh without
/// such options uses them and a reviewer can rerun what made the checks. The
/// checker's options are not part of it: they belong to the RUN line. The
/// line is no directive of the check prefix; a prefix other than CHECK is
/// named first (--check-prefix=P), so each prefix of a file has its own.

#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

struct GeneratorOptions {
  std::vector<std::string> labels;
  std::vector<std::string> scrubs;
  bool scrubNumbers = false;
  bool whole = false;

  bool empty() const { return labels.empty() && scrubs.empty() && !scrubNumbers && !whole; }
  /// The options as command-line words, in a fixed order.
  std::vector<std::string> words() const;
};

/// The word that starts a record line after its comment leader.
constexpr TextRef recordMarker = "UPDATE:";

/// The text of a record line after its leader (marker included) when it is
/// the record of `prefix`: the words after the marker; nothing otherwise.
std::optional<std::string> recordedText(TextRef lineBody, TextRef prefix);

/// The record line's text (after the leader) for `prefix` and `options`; the
/// words are quoted so that both a shell and recordedOptions read them back.
std::string recordLineBody(TextRef prefix, const GeneratorOptions &options);

/// The options of a record's text (as recordedText gives it), or an error
/// naming the word that is not a generator option.
ValueOrError<GeneratorOptions> recordedOptions(TextRef recorded);

} // namespace ostrel

#endif
