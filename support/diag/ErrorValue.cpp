#include "support/diag/ErrorValue.h"

#include "support/diag/FatalError.h"
#include "support/diag/OutputStream.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include <unistd.h>

namespace ostrel {

namespace {

class ErrorValueCategory final : public std::error_category {
public:
  const char *name() const noexcept override { return "Error"; }
  std::string message(int code) const override {
    switch (static_cast<ErrorValueCode>(code)) {
    case ErrorValueCode::MultipleErrors:
      return "Multiple errors";
    case ErrorValueCode::FileError:
      return "A file error occurred.";
    case ErrorValueCode::InconvertibleError:
      return "Inconvertible error value. An error has occurred that could not be converted "
             "to a known std::error_code. Please file a bug.";
    }
    return "Unknown error";
  }
};

// Moves every payload of `error` into `out` (the members of a MultiError one
// by one), consuming it.
void takeAll(ErrorValue error, std::vector<std::unique_ptr<ErrorPayload>> &out) {
  std::unique_ptr<ErrorPayload> payload = error.takePayload();
  if (!payload)
    return;
  if (payload->isA<MultiError>()) {
    for (auto &member : static_cast<MultiError &>(*payload).members())
      out.push_back(std::move(member));
  } else {
    out.push_back(std::move(payload));
  }
}

} // namespace

ErrorPayload::~ErrorPayload() = default;

std::string ErrorPayload::message() const {
  std::string text;
  StringOutputStream os(text);
  print(os);
  return text;
}

const std::error_category &errorValueCategory() {
  static const ErrorValueCategory category;
  return category;
}

std::error_code make_error_code(ErrorValueCode code) {
  return std::error_code(static_cast<int>(code), errorValueCategory());
}

void reportUnconsumedError(const ErrorPayload &payload) {
  // Written straight to descriptor 2: the streams may be what is failing.
  std::string text = "Program aborted due to an unhandled error: ";
  text += payload.message();
  text += "\n";
  ssize_t ignored = ::write(2, text.data(), text.size());
  (void)ignored;
  std::abort();
}

void MultiError::print(OutputStream &os) const {
  os << "Multiple errors:\n";
  for (const auto &member : members_) {
    member->print(os);
    os << '\n';
  }
}

void TextError::print(OutputStream &os) const { os << message_; }

void CodeError::print(OutputStream &os) const { os << code_.message(); }

ErrorValue fromErrorCode(std::error_code code) {
  if (!code)
    return ErrorValue();
  return makeError<CodeError>(code);
}

ErrorValue makeTextError(std::error_code code, TextRef message) {
  return makeError<TextError>(code, message);
}

ErrorValue combineErrors(ErrorValue first, ErrorValue second) {
  if (!first)
    return second;
  if (!second)
    return first;
  if (first.isA<MultiError>()) {
    std::unique_ptr<ErrorPayload> head = first.takePayload();
    takeAll(std::move(second), static_cast<MultiError &>(*head).members());
    return ErrorValue(std::move(head));
  }
  if (second.isA<MultiError>()) {
    std::unique_ptr<ErrorPayload> tail = second.takePayload();
    auto &members = static_cast<MultiError &>(*tail).members();
    members.insert(members.begin(), first.takePayload());
    return ErrorValue(std::move(tail));
  }
  auto multi = std::make_unique<MultiError>();
  multi->members().push_back(first.takePayload());
  multi->members().push_back(second.takePayload());
  return ErrorValue(std::move(multi));
}

void dropError(ErrorValue error) { (void)error.takePayload(); }

void printAllErrors(ErrorValue error, OutputStream &os, TextRef banner) {
  if (!error)
    return;
  std::vector<std::unique_ptr<ErrorPayload>> payloads;
  takeAll(std::move(error), payloads);
  os << banner;
  for (const auto &payload : payloads) {
    payload->print(os);
    os << '\n';
  }
}

std::error_code toErrorCode(ErrorValue error) {
  std::vector<std::unique_ptr<ErrorPayload>> payloads;
  takeAll(std::move(error), payloads);
  std::error_code code;
  for (const auto &payload : payloads)
    code = payload->toErrorCode();
  if (code == inconvertibleErrorCode())
    reportFatal(code.message(), true);
  return code;
}

std::string errorMessage(ErrorValue error) {
  std::vector<std::unique_ptr<ErrorPayload>> payloads;
  takeAll(std::move(error), payloads);
  std::string text;
  for (size_t i = 0; i < payloads.size(); ++i) {
    if (i)
      text += '\n';
    text += payloads[i]->message();
  }
  return text;
}

} // namespace ostrel
