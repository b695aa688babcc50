#ifndef OSTREL_SUPPORT_DIAG_ERRORVALUE_H
#define OSTREL_SUPPORT_DIAG_ERRORVALUE_H

/// Failures travel as values: an ErrorValue owns an error payload (or nothing,
/// meaning success), a ValueOrError<T> holds either a T or an ErrorValue.
/// Every non-empty ErrorValue must be consumed: printed (printAllErrors),
/// combined (combineErrors), handled by kind (handleByKind), converted
/// (toErrorCode, errorMessage) or dropped (dropError). When OSTREL_CHECK_ERRORS
/// is defined, destroying or overwriting an unconsumed error aborts. An
/// unexamined success may be dropped freely.
///
/// New kinds of payload derive from ErrorPayloadKind:
///
///   class ValueOverflowError : public ErrorPayloadKind<ValueOverflowError> {
///   public:
///     void print(OutputStream &os) const override { os << "overflow error"; }
///     std::error_code toErrorCode() const override { ... }
///   };
///   ErrorValue e = makeError<ValueOverflowError>();
///   e = handleByKind(std::move(e), [](const ValueOverflowError &) { ... });

#include "support/fs/TextRef.h"

#include <cassert>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace ostrel {

class OutputStream;

/// Identity of an error kind: the address of a per-kind static object.
using ErrorKindId = const void *;

/// Root of every error payload.
class ErrorPayload {
public:
  virtual ~ErrorPayload();
  /// Writes the payload's text (no trailing line feed).
  virtual void print(OutputStream &os) const = 0;
  /// What print writes, as a string.
  virtual std::string message() const;
  virtual std::error_code toErrorCode() const = 0;
  virtual ErrorKindId kindId() const = 0;
  /// True for the payload's own kind (and its bases) and for the root kind.
  virtual bool isA(ErrorKindId kind) const { return kind == classKind(); }
  template <class Kind> bool isA() const { return isA(Kind::classKind()); }

  /// The root kind that every payload belongs to.
  static ErrorKindId classKind() {
    static const char id = 0;
    return &id;
  }
};

/// CRTP helper that gives a payload class its own kind identity.
template <class Derived, class Base = ErrorPayload>
class ErrorPayloadKind : public Base {
public:
  using Base::Base;
  static ErrorKindId classKind() {
    static const char id = 0;
    return &id;
  }
  ErrorKindId kindId() const override { return classKind(); }
  bool isA(ErrorKindId kind) const override {
    return kind == classKind() || Base::isA(kind);
  }
};

/// Error codes of the category named "Error".
enum class ErrorValueCode {
  MultipleErrors = 1,
  FileError = 2,
  /// Reported by payloads that have no meaningful system error code.
  InconvertibleError = 3,
};

} // namespace ostrel

template <> struct std::is_error_code_enum<ostrel::ErrorValueCode> : std::true_type {};

namespace ostrel {

const std::error_category &errorValueCategory();
std::error_code make_error_code(ErrorValueCode code);
inline std::error_code inconvertibleErrorCode() {
  return make_error_code(ErrorValueCode::InconvertibleError);
}

/// Aborts with a message naming the unconsumed payload; never returns.
[[noreturn]] void reportUnconsumedError(const ErrorPayload &payload);

class [[nodiscard]] ErrorValue {
public:
  /// Success.
  ErrorValue() = default;
  static ErrorValue success() { return ErrorValue(); }
  explicit ErrorValue(std::unique_ptr<ErrorPayload> payload)
      : payload_(std::move(payload)) {}

  ErrorValue(ErrorValue &&other) noexcept : payload_(std::move(other.payload_)) {}
  ErrorValue &operator=(ErrorValue &&other) noexcept {
    if (this != &other) {
      assertConsumed();
      payload_ = std::move(other.payload_);
    }
    return *this;
  }
  ErrorValue(const ErrorValue &) = delete;
  ErrorValue &operator=(const ErrorValue &) = delete;
  ~ErrorValue() { assertConsumed(); }

  /// True when this holds an error. Does not consume it.
  explicit operator bool() const { return payload_ != nullptr; }
  bool isError() const { return payload_ != nullptr; }

  /// The payload, for inspection without consuming; null for success.
  const ErrorPayload *payload() const { return payload_.get(); }
  /// True when the payload is of kind `Kind` (a MultiError is not its members).
  template <class Kind> bool isA() const { return payload_ && payload_->isA<Kind>(); }

  /// Takes the payload out, consuming the error.
  std::unique_ptr<ErrorPayload> takePayload() { return std::move(payload_); }

private:
  void assertConsumed() const {
#ifdef OSTREL_CHECK_ERRORS
    if (payload_)
      reportUnconsumedError(*payload_);
#endif
  }
  std::unique_ptr<ErrorPayload> payload_;
};

/// Makes an ErrorValue holding a new payload of type `Kind`.
template <class Kind, class... Args> ErrorValue makeError(Args &&...args) {
  return ErrorValue(std::make_unique<Kind>(std::forward<Args>(args)...));
}

/// Several errors in the order in which they were combined; never nested.
class MultiError : public ErrorPayloadKind<MultiError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override {
    return make_error_code(ErrorValueCode::MultipleErrors);
  }
  const std::vector<std::unique_ptr<ErrorPayload>> &members() const { return members_; }
  std::vector<std::unique_ptr<ErrorPayload>> &members() { return members_; }

private:
  std::vector<std::unique_ptr<ErrorPayload>> members_;
};

/// A message text with a system error code.
class TextError : public ErrorPayloadKind<TextError> {
public:
  TextError(std::error_code code, TextRef message) : code_(code), message_(message) {}
  void print(OutputStream &os) const override;
  std::string message() const override { return message_; }
  std::error_code toErrorCode() const override { return code_; }

private:
  std::error_code code_;
  std::string message_;
};

/// A system error code; prints the system's text for it.
class CodeError : public ErrorPayloadKind<CodeError> {
public:
  explicit CodeError(std::error_code code) : code_(code) {}
  void print(OutputStream &os) const override;
  std::string message() const override { return code_.message(); }
  std::error_code toErrorCode() const override { return code_; }

private:
  std::error_code code_;
};

/// Success for the zero code, otherwise a CodeError.
ErrorValue fromErrorCode(std::error_code code);
ErrorValue makeTextError(std::error_code code, TextRef message);

/// Joins two errors into one, flattening MultiErrors and keeping the order.
ErrorValue combineErrors(ErrorValue first, ErrorValue second);

/// Consumes the error without any output.
void dropError(ErrorValue error);

/// Writes `banner`, then each payload's print followed by a line feed (the
/// members of a MultiError one by one). Nothing for success.
void printAllErrors(ErrorValue error, OutputStream &os, TextRef banner = {});

/// The system error code of the last payload (zero for success). Ends the
/// process through reportFatal when that is the inconvertible code.
std::error_code toErrorCode(ErrorValue error);

/// Consumes the error and returns the messages of its payloads joined by line
/// feeds (empty for success).
std::string errorMessage(ErrorValue error);

/// Calls `visit(const ErrorPayload &)` on each payload in order without
/// consuming (the members of a MultiError one by one).
template <class Visit> void forEachPayload(const ErrorValue &error, Visit &&visit) {
  const ErrorPayload *p = error.payload();
  if (!p)
    return;
  if (p->isA<MultiError>()) {
    for (const auto &member : static_cast<const MultiError *>(p)->members())
      visit(*member);
  } else {
    visit(*p);
  }
}

namespace errorvalue_detail {

template <class T> struct HandlerArg;
template <class C, class R, class A> struct HandlerArg<R (C::*)(A) const> {
  using Arg = A;
  using Result = R;
};
template <class C, class R, class A> struct HandlerArg<R (C::*)(A)> {
  using Arg = A;
  using Result = R;
};
template <class R, class A> struct HandlerArg<R (*)(A)> {
  using Arg = A;
  using Result = R;
};

template <class F, class = void> struct HandlerTraits : HandlerArg<std::decay_t<F>> {};
template <class F>
struct HandlerTraits<F, std::void_t<decltype(&std::decay_t<F>::operator())>>
    : HandlerArg<decltype(&std::decay_t<F>::operator())> {};

template <class Arg> struct KindOf {
  using Type = std::remove_cv_t<std::remove_reference_t<Arg>>;
};
template <class K> struct KindOf<std::unique_ptr<K>> {
  using Type = K;
};

// Offers `payload` to `handler`; true when the handler took it. What the
// handler returns as an error (if it returns one) is combined into `rest`.
template <class F>
bool tryHandler(std::unique_ptr<ErrorPayload> &payload, ErrorValue &rest, F &handler) {
  using Traits = HandlerTraits<F>;
  using Arg = typename Traits::Arg;
  using Kind = typename KindOf<std::remove_cv_t<std::remove_reference_t<Arg>>>::Type;
  if (!payload->isA(Kind::classKind()))
    return false;
  auto call = [&]() -> decltype(auto) {
    if constexpr (std::is_same_v<std::remove_cv_t<std::remove_reference_t<Arg>>,
                                 std::unique_ptr<Kind>>)
      return handler(std::unique_ptr<Kind>(static_cast<Kind *>(payload.release())));
    else
      return handler(static_cast<Kind &>(*payload));
  };
  if constexpr (std::is_same_v<typename Traits::Result, ErrorValue>) {
    ErrorValue produced = call();
    rest = combineErrors(std::move(rest), std::move(produced));
  } else {
    call();
  }
  payload.reset();
  return true;
}

} // namespace errorvalue_detail

/// Offers every payload (the members of a MultiError in order) to the handlers
/// in order; the first handler whose parameter kind the payload is-a consumes
/// it. A handler is a callable taking `const Kind &`, `Kind &` or
/// `std::unique_ptr<Kind>`, and returning void or an ErrorValue (which is
/// combined into the result, e.g. to convert one kind into another).
/// Payloads no handler takes are returned, combined, in order.
template <class... Handlers>
ErrorValue handleByKind(ErrorValue error, Handlers &&...handlers) {
  std::unique_ptr<ErrorPayload> payload = error.takePayload();
  if (!payload)
    return ErrorValue();
  std::vector<std::unique_ptr<ErrorPayload>> items;
  if (payload->isA<MultiError>())
    items = std::move(static_cast<MultiError &>(*payload).members());
  else
    items.push_back(std::move(payload));
  ErrorValue rest;
  for (auto &item : items) {
    ErrorValue produced;
    bool taken = (errorvalue_detail::tryHandler(item, produced, handlers) || ...);
    if (!taken)
      rest = combineErrors(std::move(rest), ErrorValue(std::move(item)));
    else
      rest = combineErrors(std::move(rest), std::move(produced));
  }
  return rest;
}

/// Holds either a T or an ErrorValue.
template <class T> class [[nodiscard]] ValueOrError {
public:
  ValueOrError(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
  /// `error` must hold an error.
  ValueOrError(ErrorValue error) : storage_(std::in_place_index<1>, std::move(error)) {
    assert(std::get<1>(storage_) && "ValueOrError made from a success");
  }
  template <class U>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::decay_t<U>, T> &&
             !std::is_same_v<std::decay_t<U>, ErrorValue> &&
             !std::is_same_v<std::decay_t<U>, ValueOrError>)
  ValueOrError(U &&value) : storage_(std::in_place_index<0>, std::forward<U>(value)) {}

  ValueOrError(ValueOrError &&) = default;
  ValueOrError &operator=(ValueOrError &&) = default;

  /// True when a value is held.
  explicit operator bool() const { return storage_.index() == 0; }
  bool hasValue() const { return storage_.index() == 0; }

  T &value() {
    assert(hasValue() && "reading the value of an error");
    return std::get<0>(storage_);
  }
  const T &value() const {
    assert(hasValue() && "reading the value of an error");
    return std::get<0>(storage_);
  }
  T &operator*() { return value(); }
  const T &operator*() const { return value(); }
  T *operator->() { return &value(); }
  const T *operator->() const { return &value(); }

  /// The error (success when a value is held); consuming it is the caller's job.
  ErrorValue takeError() {
    if (hasValue())
      return ErrorValue();
    return std::move(std::get<1>(storage_));
  }

private:
  std::variant<T, ErrorValue> storage_;
};

} // namespace ostrel

#endif
