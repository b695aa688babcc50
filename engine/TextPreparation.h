#ifndef OSTREL_ENGINE_TEXTPREPARATION_H
#define OSTREL_ENGINE_TEXTPREPARATION_H

/// Preparing a check text or an input for checking: a carriage return
/// before a line feed is dropped and, unless whitespace is strict, every run
/// of blanks and tabs becomes one blank. Tested by TextPreparation_test.cpp.

#include "support/fs/FileBuffer.h"
#include "support/fs/TextRef.h"

#include <string>

namespace ostrel {

/// Copies `source` into `buffer` prepared. The buffer ends with a NUL that
/// the returned text does not include.
TextRef prepareCopy(TextRef source, std::string &buffer, bool strictWhitespace);

/// Whether preparing `source` would leave it as it is, so that a text that
/// already ends with a NUL can be used without a prepared copy.
bool isPrepared(TextRef source, bool strictWhitespace);

/// Prepares the bytes of `buffer` in place, so the program holds one copy
/// of a large input instead of two, and shortens the buffer to the result.
TextRef prepareInPlace(OwnedFileBuffer &buffer, bool strictWhitespace);

} // namespace ostrel

#endif
