#pragma once

#include <mutex>
#include <utility>

namespace velmarin::test {

// The doubles are set up and inspected on the test's thread while the code under test uses
// them on its own: each field is read or written under the double's mutex.
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

}  // namespace velmarin::test
