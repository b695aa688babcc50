#include "run/Substitutions.h"

#include <algorithm>

namespace ostrel {

std::string shellQuote(TextRef text) {
  auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
  };
  if (!text.empty() && std::all_of(text.begin(), text.end(), plain))
    return std::string(text);
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

void Substitutions::set(std::string name, std::string value) {
  for (auto &entry : entries_) {
    if (entry.first == name) {
      entry.second = std::move(value);
      return;
    }
  }
  auto at = std::find_if(entries_.begin(), entries_.end(),
                         [&](const auto &entry) { return entry.first.size() < name.size(); });
  entries_.emplace(at, std::move(name), std::move(value));
}

std::string Substitutions::apply(TextRef command) const {
  std::string result;
  result.reserve(command.size());
  size_t at = 0;
  while (at < command.size()) {
    const std::pair<std::string, std::string> *found = nullptr;
    for (const auto &entry : entries_) {
      if (!entry.first.empty() && command.substr(at, entry.first.size()) == entry.first) {
        found = &entry;
        break;
      }
    }
    if (found) {
      result += found->second;
      at += found->first.size();
    } else {
      result += command[at++];
    }
  }
  return result;
}

} // namespace ostrel
