#pragma once

#include <cstdint>

namespace velmarin {

// One reading of the local clock; every expansion uses one reading for all six fields.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;  // 0-23
  int minute = 0;
  int second = 0;
};

LocalTime LocalTimeNow();
// The local clock at `seconds` since the epoch.
LocalTime LocalTimeAt(std::int64_t seconds);

}  // namespace velmarin
