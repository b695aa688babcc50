#ifndef OSTREL_SUPPORT_CMDLINE_HELPPRINTER_H
#define OSTREL_SUPPORT_CMDLINE_HELPPRINTER_H

/// The built-in options every program gets (help, help-list, help-hidden,
/// version and their relatives), the library-wide options that only show up
/// in the hidden listing, and the printers behind them. All of this output
/// goes to standard output.

#include "support/fs/TextRef.h"

namespace ostrel {

class HelpCategory;

/// One way of listing the options: grouped under category headings or as
/// one sorted list, with or without the options hidden from help.
struct HelpPrinter {
  bool categorized;
  bool showHidden;
  /// Writes the listing of the active scope and drops the extra help texts.
  void print() const;
};

/// Writes the listing with printer.
void printHelp(const HelpPrinter &printer);
/// Writes the version text.
void printVersion();

/// The category of the built-in options, "Generic Options".
HelpCategory &genericCategory();

/// Creators run by the first parse.
void createBuiltinOptions();
void createLibraryWideOptions();

} // namespace ostrel

#endif
