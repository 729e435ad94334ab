#include "naming/serial_search.h"

#include <algorithm>
#include <utility>

namespace velmarin {

std::optional<int> LowestFreeSerial(const std::function<bool(int serial)>& taken) {
  return LowestFreeSerial(taken, 1);
}

std::optional<int> LowestFreeSerial(const std::function<bool(int serial)>& taken, int from) {
  int serial = std::max(from, 1);
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

std::string SerialPaths::Key() const {
  std::string key = std::to_string(width_);
  for (const std::string& piece : pieces_) key += '\0' + piece;
  return key;
}

std::string SerialPaths::FileName(int serial) const { return Joined(name_start_, serial); }

void SerialPaths::SerialsOf(std::string_view name,
                            const std::function<void(int serial)>& found) const {
  if (!name.starts_with(name_start_)) return;
  const std::string_view rest = name.substr(name_start_.size());
  // Numbers of more digits than the width are written without leading zeros, so no serial
  // the search can reach takes more digits than this.
  const std::size_t most = std::max<std::size_t>(static_cast<std::size_t>(width_), 6);
  std::size_t run = 0;
  while (run < rest.size() && run < most && rest[run] >= '0' && rest[run] <= '9') ++run;
  // The text behind the serial may itself begin with digits: every length is tried.
  for (std::size_t length = run; length > 0; --length) {
    int serial = 0;
    for (std::size_t i = 0; i < length && serial <= kSerialLimit + kSerialWindow; ++i) {
      serial = serial * 10 + (rest[i] - '0');
    }
    if (serial < 1 || serial >= kSerialLimit + kSerialWindow) continue;
    if (length != std::max(std::to_string(serial).size(), static_cast<std::size_t>(width_))) {
      continue;
    }
    const bool matches =
        pieces_.size() == 2 ? rest.substr(length) == pieces_[1] : name == FileName(serial);
    if (matches) found(serial);
  }
}

SerialListing::SerialListing(const SerialPaths& paths)
    : paths_(paths), taken_(kSerialLimit + kSerialWindow, false) {}

void SerialListing::Note(std::string_view name) {
  paths_.SerialsOf(name, [this](int serial) { taken_[static_cast<std::size_t>(serial)] = true; });
}

std::optional<int> SerialListing::LowestFree() const {
  return LowestFreeSerial([this](int serial) { return taken_[static_cast<std::size_t>(serial)]; });
}

}  // namespace velmarin
