#include "naming/serial_search.h"

#include <utility>

namespace velmarin {

std::optional<int> LowestFreeSerial(const std::function<bool(int serial)>& taken) {
  int serial = 1;
  while (serial < kSerialLimit) {
    int offset = 0;
    while (offset < kSerialWindow && !taken(serial + offset)) ++offset;
    if (offset == kSerialWindow) return serial;
    serial += offset + 1;
  }
  return std::nullopt;
}

SerialPaths::SerialPaths(std::vector<std::string> pieces, int width)
    : pieces_(std::move(pieces)), width_(width) {
  for (std::size_t i = 1; i < pieces_.size(); ++i) {
    if (pieces_[i].find('/') != std::string::npos) return;
  }
  const std::size_t slash = pieces_.front().rfind('/');
  if (slash == std::string::npos) return;
  folder_ = pieces_.front().substr(0, slash + 1);
  name_start_ = pieces_.front().substr(slash + 1);
}

std::string SerialPaths::Digits(int serial) const {
  std::string digits = std::to_string(serial);
  const auto least = static_cast<std::size_t>(width_);
  if (digits.size() < least) digits.insert(0, least - digits.size(), '0');
  return digits;
}

std::string SerialPaths::Joined(std::string_view first, int serial) const {
  const std::string digits = Digits(serial);
  std::string result(first);
  for (std::size_t i = 1; i < pieces_.size(); ++i) result += digits + pieces_[i];
  return result;
}

std::string SerialPaths::Path(int serial) const { return Joined(pieces_.front(), serial); }

std::string SerialPaths::FileName(int serial) const { return Joined(name_start_, serial); }

std::optional<int> LowestFreeSerial(const SerialPaths& paths,
                                    const std::unordered_set<std::string>& names) {
  return LowestFreeSerial([&](int serial) { return names.contains(paths.FileName(serial)); });
}

}  // namespace velmarin
