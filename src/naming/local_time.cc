#include "naming/local_time.h"

#include <ctime>

namespace velmarin {

LocalTime LocalTimeNow() { return LocalTimeAt(std::time(nullptr)); }

LocalTime LocalTimeAt(std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&time, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace velmarin
