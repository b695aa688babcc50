#include "support/cmdline/CompletionScript.h"

#include <algorithm>
#include <cctype>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

namespace {

/// One name under which an option can be given, with what completes it.
struct CompletionEntry {
  std::string name;
  const CommandOption *option;
  /// False for the extra names of a nameless enumeration, which stand alone.
  bool ownName;
};

/// The value of an option whose value name is one of these completes as a
/// path rather than from a word list.
const struct {
  TextRef valueName;
  TextRef marker;
} pathValues[] = {
    {"filename", ":file"},
    {"directory", ":directory"},
};

// The part of the script that is the same for every program. $F stands for
// the program's function name; the generated tables come before it.
const char *const completionBody = R"BODY(
  local line=${COMP_LINE:0:COMP_POINT}
  local cur=${line##*[[:space:]]}
  local -a before candidates=()
  read -ra before <<< "${line:0:${#line}-${#cur}}"
  local prev= word head= value=$cur words= kind=files bare
  (( ${#before[@]} > 1 )) && prev=${before[-1]}
  for word in "${before[@]:1}"; do
    # After "--" every argument is positional.
    [[ $word == -- ]] && kind=positional
  done
  if [[ $kind == positional ]]; then
    kind=files
  elif [[ $cur == @* ]]; then
    head=@ value=${cur:1}
  elif [[ $cur == -*=* ]]; then
    head=${cur%%=*}= value=${cur#*=}
    bare=${head%=}; bare=${bare#-}; bare=${bare#-}
    words=$(${F}_values "$bare") || return 0
    kind=values
  elif [[ $cur == -* ]]; then
    kind=names
  elif [[ $prev == -* && $prev != *=* ]]; then
    bare=${prev#-}; bare=${bare#-}
    if [[ $separate == *" $bare "* ]]; then
      words=$(${F}_values "$bare")
      kind=values
    fi
  fi
  if [[ $kind == values ]]; then
    case $words in
      :file) kind=files ;;
      :directory) kind=directories ;;
    esac
  fi
  case $kind in
    names)
      mapfile -t candidates < <(compgen -W "$names" -- "$cur")
      if (( ${#candidates[@]} == 1 )); then
        bare=${candidates[0]#-}; bare=${bare#-}
        if [[ $bare == *= || $glued == *" $bare "* ]]; then
          compopt -o nospace 2>/dev/null
        fi
      fi ;;
    values)
      mapfile -t candidates < <(compgen -W "$words" -- "$value") ;;
    files)
      mapfile -t candidates < <(compgen -f -- "$value")
      if [[ $head == @ ]]; then
        # Readline would quote the "@" as a file name character, so mark
        # directories by hand.
        for i in "${!candidates[@]}"; do
          [[ -d ${candidates[i]} ]] && candidates[i]+=/
        done
        [[ ${#candidates[@]} == 1 && ${candidates[0]} == */ ]] &&
          compopt -o nospace 2>/dev/null
      else
        compopt -o filenames 2>/dev/null
      fi ;;
    directories)
      compopt -o filenames 2>/dev/null
      mapfile -t candidates < <(compgen -d -- "$value") ;;
  esac
  # Readline replaces only the text from the last word-break character of
  # the word on ("=" and "@" by default); it keeps "=" but replaces "@" and
  # "$" with the rest. Offer just that part.
  local keep=0 i c
  for (( i = 0; i < ${#cur}; i++ )); do
    c=${cur:i:1}
    if [[ $COMP_WORDBREAKS == *"$c"* ]]; then
      keep=$(( i + 1 ))
      [[ $c == [@\$] ]] && keep=$i
    fi
  done
  COMPREPLY=()
  for word in "${candidates[@]}"; do
    word=$head$word
    COMPREPLY+=("${word:keep}")
  done
}
)BODY";

std::string shellQuoted(TextRef text) {
  std::string quoted("'");
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::vector<CompletionEntry> completionEntries(const CommandScope &scope) {
  std::vector<CompletionEntry> entries;
  scope.options.forEach([&](TextRef key, const CommandOption *option) {
    if (option->visibility() != HiddenEverywhere)
      entries.push_back({std::string(key), option, key == option->name});
  });
  std::sort(entries.begin(), entries.end(),
            [](const CompletionEntry &a, const CompletionEntry &b) {
              return a.name < b.name;
            });
  return entries;
}

bool takesValue(const CompletionEntry &entry) {
  return entry.ownName && entry.option->valueExpectation() != ValueDisallowed;
}

bool demandsValue(const CompletionEntry &entry) {
  return entry.ownName && entry.option->valueExpectation() == ValueDemanded;
}

bool isGlued(const CompletionEntry &entry) {
  OptionForm form = entry.option->form();
  return form == PrefixForm || form == PrefixOnlyForm;
}

/// The words of the value, or the path marker; empty when any text will do.
std::string valueCompletion(const CommandOption &option) {
  const CommandOption *owner = &option;
  if (const auto *alias = dynamic_cast<const AliasOption *>(&option))
    if (alias->target())
      owner = alias->target();
  for (const auto &path : pathValues)
    if (owner->valueName == path.valueName)
      return std::string(path.marker);
  std::vector<TextRef> words;
  owner->valueWords(words);
  std::string joined;
  for (TextRef word : words) {
    if (!joined.empty())
      joined += ' ';
    joined.append(word);
  }
  return joined;
}

std::string functionName(TextRef programName) {
  std::string name("_");
  for (char c : programName)
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name + "_complete";
}

} // namespace

std::vector<std::string> optionNames(const CommandScope &scope) {
  std::vector<std::string> names;
  for (const CompletionEntry &entry : completionEntries(scope))
    names.push_back(entry.name);
  return names;
}

void writeBashCompletion(OutputStream &out, TextRef programName,
                         const CommandScope &scope) {
  std::vector<CompletionEntry> entries = completionEntries(scope);
  std::string function = functionName(programName);

  out << "# Bash completion for " << programName
      << ", generated from the program's option table.\n\n"
      << "# The words a value of option $1 (named without dashes) may be, or\n"
      << "# :file or :directory; nothing when any text will do. Status 1 when\n"
      << "# the option takes no value.\n"
      << function << "_values() {\n  case $1 in\n";
  for (const CompletionEntry &entry : entries)
    if (takesValue(entry) && !isGlued(entry))
      out << "    " << shellQuoted(entry.name) << ") echo "
          << shellQuoted(valueCompletion(*entry.option)) << " ;;\n";
  out << "    *) return 1 ;;\n  esac\n}\n\n" << function << "() {\n";

  std::string names, separate(" "), glued(" ");
  for (const CompletionEntry &entry : entries) {
    if (!names.empty())
      names += ' ';
    names += dashedName(entry.name);
    if (demandsValue(entry) && isGlued(entry)) {
      glued += entry.name + ' ';
    } else if (demandsValue(entry)) {
      names += '=';
      separate += entry.name + ' ';
    }
  }
  out << "  local names=" << shellQuoted(names) << "\n"
      << "  # Options whose value may also be the next argument.\n"
      << "  local separate=" << shellQuoted(separate) << "\n"
      << "  # Options whose value is glued to the name.\n"
      << "  local glued=" << shellQuoted(glued) << "\n"
      << "  local F=" << function;
  out << completionBody << "complete -F " << function << ' ' << programName
      << '\n';
}

} // namespace ostrel
