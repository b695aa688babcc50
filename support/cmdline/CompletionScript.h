#ifndef OSTREL_SUPPORT_CMDLINE_COMPLETIONSCRIPT_H
#define OSTREL_SUPPORT_CMDLINE_COMPLETIONSCRIPT_H

/// Shell completion and the option table as data, made from the options a
/// scope holds, so that neither can drift from what the program accepts. A
/// program's build runs a small generator that links the program's option
/// definitions and writes both (see support/cmdline/optiontable/).

#include <string>
#include <vector>

#include "support/fs/TextRef.h"

namespace ostrel {

class CommandScope;
class OutputStream;

/// Writes a bash completion script for the command programName: option
/// names (with "=" after those that demand a value), the words of
/// enumerated and boolean values after "=" or as the next argument, file
/// names for the positional arguments, for "@file" and for options whose
/// value is named "filename", and directories for those named "directory".
/// Options hidden everywhere are left out.
void writeBashCompletion(OutputStream &out, TextRef programName,
                         const CommandScope &scope);

/// Every name under which an option of scope can be given, without dashes,
/// sorted byte-wise; options hidden everywhere are left out.
std::vector<std::string> optionNames(const CommandScope &scope);

} // namespace ostrel

#endif
