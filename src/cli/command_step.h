#pragma once

#include <optional>
#include <utility>

namespace velmarin::cli {

// The exit status a command ends with when one of its steps failed: 1 a failure, 2 a usage
// error.
struct ExitWith {
  int code;
};

// What one step of a command made, or the exit status the command ends with because the step
// failed (the step has printed why). Every step of a command that can fail returns one:
//   auto context = PrepareCommand(options);
//   if (!context) return context.exit_code();
template <typename T>
class CommandStep {
 public:
  // Implicit, so a step returns what it made, or ExitWith, as it stands.
  CommandStep(T value) : value_(std::move(value)) {}
  CommandStep(ExitWith failure) : exit_code_(failure.code) {}

  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // 0 when the step succeeded.
  int exit_code() const { return exit_code_; }

 private:
  std::optional<T> value_;
  int exit_code_ = 0;
};

}  // namespace velmarin::cli
