#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// Serials are searched below this number.
inline constexpr int kSerialLimit = 99999;
// A chosen serial has this many free numbers from it on.
inline constexpr int kSerialWindow = 50;

// The smallest serial from 1 up, below kSerialLimit, from which kSerialWindow numbers in a
// row are not `taken`: at a taken number the search goes on behind it. nullopt when there is
// none.
std::optional<int> LowestFreeSerial(const std::function<bool(int serial)>& taken);
// The same search begun at `from`, every number below it known to be no choice.
std::optional<int> LowestFreeSerial(const std::function<bool(int serial)>& taken, int from);

// The UTF-8 path of every serial of one pattern, the pattern converted once. The digits of a
// serial are characters of their own in code page 932 (never a lead or a trail byte), so
// each piece between two placeholders converts alone as it does in the whole path.
class SerialPaths {
 public:
  // `pieces`: the UTF-8 text before, between and behind the placeholders ("/" separators);
  // `width`: the least count of digits.
  SerialPaths(std::vector<std::string> pieces, int width);

  std::string Path(int serial) const;
  // Whether every placeholder lies in the last name of the path, so that a listing of
  // Folder() tells which serials are taken.
  bool InFileNameOnly() const { return !folder_.empty(); }
  const std::string& Folder() const { return folder_; }
  // The last name of Path(serial); only when InFileNameOnly().
  std::string FileName(int serial) const;
  // The same text for the same paths of every serial, and only for them.
  std::string Key() const;
  // Calls `found` with every serial whose FileName is `name`.
  void SerialsOf(std::string_view name, const std::function<void(int serial)>& found) const;

 private:
  std::string Digits(int serial) const;
  std::string Joined(std::string_view first, int serial) const;

  std::vector<std::string> pieces_;
  int width_;
  std::string folder_;      // the folder of every serial's file, when the same for all
  std::string name_start_;  // the start of the first piece's last name
};

// The serials taken in one listing of `paths.Folder()`, noted name by name: a number is
// taken when its file name is among the names. Each name is parsed once, so the search costs
// the same however many files the folder holds.
class SerialListing {
 public:
  explicit SerialListing(const SerialPaths& paths);

  void Note(std::string_view name);
  // LowestFreeSerial over the names noted.
  std::optional<int> LowestFree() const;

 private:
  const SerialPaths& paths_;
  std::vector<bool> taken_;  // by number
};

}  // namespace velmarin
