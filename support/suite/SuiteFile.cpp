#include "support/suite/SuiteFile.h"

#include "support/diag/OutputStream.h"
#include "support/diag/SeverityLabel.h"
#include "support/fs/FileBuffer.h"

// The library is used in its header-only, exception-free form, so that the
// programs link it statically and parse failures come back as values.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace ostrel {

namespace fs = std::filesystem;

struct SuiteFile::Document {
  toml::table table;
};

SuiteFile::SuiteFile(std::string path, std::unique_ptr<Document> document)
    : path_(std::move(path)), document_(std::move(document)) {}

SuiteFile::~SuiteFile() = default;

void SuiteFileError::print(OutputStream &os) const {
  os << path_ << ':' << line_ << ':' << column_ << ": ";
  errorLabel(os) << message_;
}

const SuiteSetting *SuiteTable::find(std::string_view key) const {
  for (const SuiteSetting &setting : settings_)
    if (setting.key == key)
      return &setting;
  return nullptr;
}

std::string SuiteFile::findRoot(const std::string &path) {
  std::error_code ignored;
  fs::path current = fs::current_path(ignored);
  fs::path folder = fs::path(path).is_absolute() ? fs::path(path) : current / path;
  folder = folder.lexically_normal();
  if (!fs::is_directory(folder, ignored))
    folder = folder.parent_path();
  for (;;) {
    if (fs::is_regular_file(folder / fileName, ignored)) {
      fs::path relative = folder.lexically_relative(current);
      if (!relative.empty() && *relative.begin() != "..")
        return relative.string();
      return folder.string();
    }
    fs::path parent = folder.parent_path();
    if (parent == folder || parent.empty())
      return {};
    folder = parent;
  }
}

ValueOrError<std::unique_ptr<SuiteFile>> SuiteFile::load(const std::string &filePath) {
  OwnedFileBufferOrError file = readFileOrInput(filePath);
  if (!file)
    return makeError<SuiteFileError>(filePath, 1, 1,
                                     "cannot read the suite file: " + file.error.message());
  return parse(filePath, std::string_view(file.buffer->bufferStart(), file.buffer->bufferSize()));
}

ValueOrError<std::unique_ptr<SuiteFile>> SuiteFile::parse(const std::string &filePath,
                                                          std::string_view text) {
  toml::parse_result parsed = toml::parse(text, filePath);
  if (!parsed) {
    const toml::parse_error &failure = parsed.error();
    // Diagnostics start in lower case, as the checker's own do.
    std::string message(failure.description());
    if (!message.empty() && message[0] >= 'A' && message[0] <= 'Z')
      message[0] = static_cast<char>(message[0] - 'A' + 'a');
    return makeError<SuiteFileError>(filePath, failure.source().begin.line,
                                     failure.source().begin.column, std::move(message));
  }
  auto document = std::make_unique<Document>();
  document->table = std::move(parsed).table();
  return std::unique_ptr<SuiteFile>(new SuiteFile(filePath, std::move(document)));
}

namespace {

/// How a wrong-type message names each kind: "'timeout' in [run] must be ...".
const char *kindDescription(SuiteValueKind kind) {
  switch (kind) {
  case SuiteValueKind::Boolean: return "true or false";
  case SuiteValueKind::Integer: return "an integer";
  case SuiteValueKind::Number: return "a number";
  case SuiteValueKind::String: return "a string";
  case SuiteValueKind::StringList: return "an array of strings";
  case SuiteValueKind::StringTable: return "a table of strings";
  }
  return "";
}

/// Converts `node` to a value of `kind`; false when it has another type.
bool readValue(const toml::node &node, SuiteValueKind kind, SuiteValue &value) {
  switch (kind) {
  case SuiteValueKind::Boolean:
    if (auto flag = node.value_exact<bool>()) {
      value = *flag;
      return true;
    }
    return false;
  case SuiteValueKind::Integer:
    if (auto number = node.value_exact<int64_t>()) {
      value = *number;
      return true;
    }
    return false;
  case SuiteValueKind::Number:
    if (node.is_integer() || node.is_floating_point()) {
      value = *node.value<double>();
      return true;
    }
    return false;
  case SuiteValueKind::String:
    if (auto text = node.value_exact<std::string>()) {
      value = std::move(*text);
      return true;
    }
    return false;
  case SuiteValueKind::StringList: {
    const toml::array *array = node.as_array();
    if (!array)
      return false;
    std::vector<std::string> items;
    for (const toml::node &item : *array) {
      auto text = item.value_exact<std::string>();
      if (!text)
        return false;
      items.push_back(std::move(*text));
    }
    value = std::move(items);
    return true;
  }
  case SuiteValueKind::StringTable:
    break;
  }
  return false;
}

} // namespace

ValueOrError<SuiteTable> SuiteFile::readTable(std::string_view name,
                                              std::span<const SuiteKey> keys) const {
  const toml::node *node = document_->table.get(name);
  if (!node)
    return SuiteTable({});
  // Keys are walked in the table's order, not the file's: the problems are
  // gathered first and reported in the order of their places.
  std::vector<SuiteFileError> problems;
  auto report = [&](const toml::source_region &where, std::string message) {
    problems.emplace_back(path_, where.begin.line, where.begin.column, std::move(message));
  };
  auto reportAll = [&]() {
    std::stable_sort(problems.begin(), problems.end(), [](const auto &a, const auto &b) {
      return std::pair(a.line(), a.column()) < std::pair(b.line(), b.column());
    });
    ErrorValue errors;
    for (SuiteFileError &problem : problems)
      errors = combineErrors(std::move(errors), makeError<SuiteFileError>(std::move(problem)));
    return errors;
  };
  const toml::table *table = node->as_table();
  if (!table) {
    report(node->source(), "'" + std::string(name) + "' must be a table");
    return reportAll();
  }
  std::string tableName = "[" + std::string(name) + "]";
  std::vector<SuiteSetting> settings;
  for (const auto &[key, value] : *table) {
    const SuiteKey *known = nullptr;
    for (const SuiteKey &candidate : keys)
      if (key.str() == candidate.name)
        known = &candidate;
    if (!known) {
      report(key.source(), "unknown key '" + std::string(key.str()) + "' in " + tableName);
      continue;
    }
    SuiteSetting setting{std::string(key.str()), {}, key.source().begin.line,
                         key.source().begin.column};
    if (known->kind == SuiteValueKind::StringTable) {
      const toml::table *entries = value.as_table();
      if (!entries) {
        report(value.source(), "'" + setting.key + "' in " + tableName + " must be " +
                                   kindDescription(known->kind));
        continue;
      }
      SuiteStringTable pairs;
      for (const auto &[entryKey, entryValue] : *entries) {
        auto text = entryValue.value_exact<std::string>();
        if (!text) {
          report(entryValue.source(), "'" + std::string(entryKey.str()) + "' in [" +
                                          std::string(name) + "." + setting.key +
                                          "] must be a string");
          continue;
        }
        pairs.emplace_back(std::string(entryKey.str()), std::move(*text));
      }
      setting.value = std::move(pairs);
    } else if (!readValue(value, known->kind, setting.value)) {
      report(value.source(), "'" + setting.key + "' in " + tableName + " must be " +
                                 kindDescription(known->kind));
      continue;
    }
    settings.push_back(std::move(setting));
  }
  if (!problems.empty())
    return reportAll();
  return SuiteTable(std::move(settings));
}

} // namespace ostrel
