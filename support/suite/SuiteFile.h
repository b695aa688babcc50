#ifndef OSTREL_SUPPORT_SUITE_SUITEFILE_H
#define OSTREL_SUPPORT_SUITE_SUITEFILE_H

/// A suite's settings file, `ostrel.toml`: found in the nearest folder at or
/// above a path (that folder is the suite's root) and parsed as TOML. Each
/// program reads its own table from it by describing the keys it knows;
/// bad TOML, unknown keys and wrong types come back as located errors
/// ("ostrel.toml:3:1: error: ...").

#include "support/diag/ErrorValue.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace ostrel {

class OutputStream;

/// The kinds of value a key of a program's table may hold.
enum class SuiteValueKind {
  Boolean,
  /// An integer.
  Integer,
  /// An integer or a floating-point number, read as a double.
  Number,
  String,
  /// An array of strings.
  StringList,
  /// A table whose values are all strings, e.g. `[run.environment]`.
  StringTable,
};

/// One key a program accepts in its table.
struct SuiteKey {
  const char *name;
  SuiteValueKind kind;
};

using SuiteStringTable = std::vector<std::pair<std::string, std::string>>;
using SuiteValue = std::variant<bool, int64_t, double, std::string, std::vector<std::string>,
                                SuiteStringTable>;

/// A key's value with the place it was written at (1-based).
struct SuiteSetting {
  std::string key;
  SuiteValue value;
  unsigned line = 0;
  unsigned column = 0;
};

/// The settings of one program's table: only keys that were written appear.
class SuiteTable {
public:
  explicit SuiteTable(std::vector<SuiteSetting> settings) : settings_(std::move(settings)) {}
  /// The setting of `key`, or null when the file does not set it.
  const SuiteSetting *find(std::string_view key) const;
  /// The value of `key`, which must have been declared with the kind that
  /// holds `T`; null when the file does not set it.
  template <class T> const T *get(std::string_view key) const {
    const SuiteSetting *setting = find(key);
    return setting ? std::get_if<T>(&setting->value) : nullptr;
  }
  const std::vector<SuiteSetting> &settings() const { return settings_; }

private:
  std::vector<SuiteSetting> settings_;
};

/// An error at a place in a suite file; prints "path:line:column: error: message".
class SuiteFileError : public ErrorPayloadKind<SuiteFileError> {
public:
  SuiteFileError(std::string path, unsigned line, unsigned column, std::string message)
      : path_(std::move(path)), line_(line), column_(column), message_(std::move(message)) {}
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
  unsigned line() const { return line_; }
  unsigned column() const { return column_; }
  const std::string &text() const { return message_; }

private:
  std::string path_;
  unsigned line_;
  unsigned column_;
  std::string message_;
};

class SuiteFile {
public:
  /// The name a suite file has.
  static constexpr const char *fileName = "ostrel.toml";

  ~SuiteFile();
  SuiteFile(const SuiteFile &) = delete;
  SuiteFile &operator=(const SuiteFile &) = delete;

  /// The folder of the nearest suite file at or above `path` (a file or a
  /// folder, which need not exist), or an empty string when there is none up
  /// to the file system's root. Relative paths are taken from the current
  /// folder, and the result is relative to it when it lies below it.
  static std::string findRoot(const std::string &path);

  /// Reads and parses the suite file at `filePath`; `filePath` is how errors
  /// name it.
  static ValueOrError<std::unique_ptr<SuiteFile>> load(const std::string &filePath);
  /// Parses `text` as the suite file `filePath`.
  static ValueOrError<std::unique_ptr<SuiteFile>> parse(const std::string &filePath,
                                                        std::string_view text);

  /// The file's path as given to load or parse.
  const std::string &path() const { return path_; }

  /// Reads the top-level table `name` against `keys`: an absent table reads
  /// as empty; every unknown key and wrong type is reported, all together.
  ValueOrError<SuiteTable> readTable(std::string_view name,
                                     std::span<const SuiteKey> keys) const;

private:
  struct Document;
  SuiteFile(std::string path, std::unique_ptr<Document> document);
  std::string path_;
  std::unique_ptr<Document> document_;
};

} // namespace ostrel

#endif
