#ifndef OSTREL_SUPPORT_DIAG_COLOURTESTSUPPORT_H
#define OSTREL_SUPPORT_DIAG_COLOURTESTSUPPORT_H

// Test helpers that change what the colour decision reads (the colour
// preference, the environment) for one test and restore it afterwards.

#include "support/diag/ColourScope.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace ostrel {

class PreferenceGuard {
public:
  explicit PreferenceGuard(int32_t value) : saved_(colourPreference) { colourPreference = value; }
  ~PreferenceGuard() { colourPreference = saved_; }
  PreferenceGuard(const PreferenceGuard &) = delete;
  PreferenceGuard &operator=(const PreferenceGuard &) = delete;

private:
  int32_t saved_;
};

/// Sets an environment variable, or unsets it for a null value.
class EnvironmentGuard {
public:
  EnvironmentGuard(const char *name, const char *value) : name_(name) {
    if (const char *old = std::getenv(name))
      saved_ = old;
    set(value);
  }
  ~EnvironmentGuard() { set(saved_ ? saved_->c_str() : nullptr); }
  EnvironmentGuard(const EnvironmentGuard &) = delete;
  EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

private:
  void set(const char *value) {
    if (value)
      ::setenv(name_.c_str(), value, 1);
    else
      ::unsetenv(name_.c_str());
  }
  std::string name_;
  std::optional<std::string> saved_;
};

} // namespace ostrel

#endif
