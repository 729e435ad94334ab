#pragma once

#include <mutex>
#include <utility>

namespace velmarin {

// A field shared between threads, read or written under the mutex that guards it.
template <typename T>
T LockedGet(std::mutex& mutex, const T& field) {
  const std::lock_guard lock(mutex);
  return field;
}

template <typename T, typename Value>
void LockedSet(std::mutex& mutex, T& field, Value&& value) {
  const std::lock_guard lock(mutex);
  field = std::forward<Value>(value);
}

}  // namespace velmarin
