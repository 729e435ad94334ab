#pragma once

#include <memory>

namespace velmarin {

// Owns an object of a C library and gives it back through the library's own function when
// destroyed: CHandle<FcPattern, FcPatternDestroy>.
template <typename T, auto Release>
struct ReleaseWith {
  void operator()(T* object) const { Release(object); }
};
template <typename T, auto Release>
using CHandle = std::unique_ptr<T, ReleaseWith<T, Release>>;

}  // namespace velmarin
