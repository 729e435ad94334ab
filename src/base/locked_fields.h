#pragma once

#include <mutex>

namespace velmarin {

// A field shared between threads, read or written under the mutex that guards it.
template <typename T>
T LockedGet(std::mutex& mutex, const T& field) {
  const std::lock_guard lock(mutex);
  return field;
}

}  // namespace velmarin
