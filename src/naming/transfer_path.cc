#include "naming/transfer_path.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "naming/template_expansion.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr int kSerialLimit = 99999;  // serial candidates stay below this
constexpr int kSerialWindow = 50;    // a chosen serial has this many free numbers from it on
constexpr std::size_t kMaxNameBytes = NAME_MAX;
constexpr std::size_t kMaxPathBytes = PATH_MAX - 1;

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

// The value of a "%d" conversion at the start of `text`; 0 when there is no number or it is
// negative, so that the serial is then written plainly.
int LeadingDecimal(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
    ++pos;
  }
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');  // at most two digits: no overflow
  }
  return negative ? 0 : value;
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// Code page 932 path text to a UTF-8 file-system path. Converting before the backslashes
// become "/" keeps the second byte 0x5C of a two-byte character from reading as a separator.
std::optional<std::string> ToUtf8Path(std::string_view cp932, std::string* error) {
  // The system would end the path at a zero byte and look at another file than the one named.
  if (cp932.find('\0') != std::string_view::npos) {
    SetError(error, "the transfer path contains a zero byte");
    return std::nullopt;
  }
  std::optional<std::string> utf8 = Cp932ToUtf8(cp932);
  if (!utf8) {
    SetError(error, "the transfer path cannot be converted from code page 932 to UTF-8");
    return std::nullopt;
  }
  std::replace(utf8->begin(), utf8->end(), '\\', '/');
  return utf8;
}

// ToUtf8Path, refusing what the file system could not hold instead of cutting it.
std::optional<std::string> ToUsablePath(std::string_view cp932, std::string* error) {
  std::optional<std::string> utf8 = ToUtf8Path(cp932, error);
  if (!utf8) return std::nullopt;
  if (utf8->size() > kMaxPathBytes) {
    SetError(error, "the transfer path is longer than " + std::to_string(kMaxPathBytes) + " bytes");
    return std::nullopt;
  }
  for (std::string_view component : SplitComponents(*utf8)) {
    if (component.size() > kMaxNameBytes) {
      SetError(error, "a name in the transfer path is longer than " +
                          std::to_string(kMaxNameBytes) + " bytes: " + std::string(component));
      return std::nullopt;
    }
  }
  return utf8;
}

// False with `error` set when the expanded name (template and ID) does not convert or
// climbs out of the transfer folder.
bool IsUsableName(std::string_view name, std::string* error) {
  const std::optional<std::string> utf8 = ToUtf8Path(name, error);
  if (!utf8) return false;
  const std::vector<std::string_view> components = SplitComponents(*utf8);
  if (std::find(components.begin(), components.end(), "..") == components.end()) return true;
  SetError(error, "the file name leads out of the transfer folder: " + *utf8);
  return false;
}

// The first "$r" with the two bytes behind it; the number they start with is the least
// count of digits of the serial.
struct SerialPlaceholder {
  std::string text;
  int width = 0;
};

std::optional<SerialPlaceholder> FindSerialPlaceholder(std::string_view path) {
  const std::size_t pos = path.find("$r");
  if (pos == std::string_view::npos) return std::nullopt;
  return SerialPlaceholder{std::string(path.substr(pos, 4)),
                           LeadingDecimal(path.substr(pos + 2, 2))};
}

std::string PathWithSerial(std::string path, const SerialPlaceholder& placeholder, int serial) {
  std::string digits = std::to_string(serial);
  const auto width = static_cast<std::size_t>(placeholder.width);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  ReplaceAll(path, placeholder.text, digits);
  return path;
}

// The smallest serial from which kSerialWindow numbers in a row are free; no file is ever
// reused, so without one the call fails. A number too long for the file system counts as
// free: no such file can exist, and only the chosen one must be usable.
std::optional<std::string> ResolveSerial(const std::string& path,
                                         const SerialPlaceholder& placeholder, std::string* error) {
  int serial = 1;
  while (serial < kSerialLimit) {
    int offset = 0;
    for (; offset < kSerialWindow; ++offset) {
      const std::optional<std::string> probe =
          ToUtf8Path(PathWithSerial(path, placeholder, serial + offset), error);
      if (!probe) return std::nullopt;
      if (PathExists(*probe)) break;
    }
    if (offset == kSerialWindow) {
      return ToUsablePath(PathWithSerial(path, placeholder, serial), error);
    }
    serial += offset + 1;
  }
  const std::optional<std::string> shown = ToUtf8Path(path, nullptr);
  SetError(error, "no free serial number below " + std::to_string(kSerialLimit) + " for " +
                      shown.value_or(placeholder.text));
  return std::nullopt;
}

}  // namespace

bool PathExists(const std::filesystem::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

bool EnsureParentFolders(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  if (parent.empty()) return true;
  std::error_code ignored;
  std::filesystem::create_directories(parent, ignored);
  return std::filesystem::is_directory(parent, ignored);
}

std::optional<std::filesystem::path> BuildTransferPath(std::string_view name_format,
                                                       std::string_view capture_id,
                                                       std::string_view transfer_folder,
                                                       const LocalTime& now, std::string* error) {
  // An empty folder would put the images at the root of the file system.
  if (transfer_folder.empty()) {
    SetError(error, "no transfer folder set");
    return std::nullopt;
  }
  // Checked on its own so that a lone lead byte at its end cannot swallow the separator.
  if (!ToUtf8Path(transfer_folder, error)) return std::nullopt;
  const std::string name = ExpandTemplate(capture_id, name_format, now);
  if (!IsUsableName(name, error)) return std::nullopt;

  std::string path(transfer_folder);
  path += '\\';
  path += name;
  path += ".jpg";

  const std::optional<SerialPlaceholder> placeholder = FindSerialPlaceholder(path);
  const std::optional<std::string> chosen =
      placeholder ? ResolveSerial(path, *placeholder, error) : ToUsablePath(path, error);
  if (!chosen) return std::nullopt;
  // A folder that cannot be created makes the write of the image fail, which reports it.
  EnsureParentFolders(*chosen);
  return std::filesystem::path(*chosen);
}

}  // namespace velmarin
