#include "dicom/dicom_uids.h"

#include <QByteArray>
#include <QUuid>
#include <algorithm>
#include <array>
#include <cstdint>

namespace velmarin {
namespace {

// The namespace of the program's name-based UUIDs (itself a random UUID, fixed for good).
const QUuid kVelmarinNamespace("{5d0c3b7e-7a53-4c1e-9d8e-2f6a4b1c8e90}");

// "2.25." and the 128 bits of `uuid` as one decimal number.
std::string UidOf(const QUuid& uuid) {
  const QByteArray bytes = uuid.toRfc4122();
  std::array<std::uint8_t, 16> number{};
  std::copy(bytes.begin(), bytes.end(), number.begin());
  std::string digits;
  // Long division by ten, most significant byte first, until nothing is left.
  while (std::any_of(number.begin(), number.end(), [](std::uint8_t b) { return b != 0; })) {
    unsigned remainder = 0;
    for (std::uint8_t& byte : number) {
      const unsigned value = remainder * 256 + byte;
      byte = static_cast<std::uint8_t>(value / 10);
      remainder = value % 10;
    }
    digits += static_cast<char>('0' + remainder);
  }
  if (digits.empty()) digits = "0";
  std::string uid = "2.25.";
  uid.append(digits.rbegin(), digits.rend());
  return uid;
}

}  // namespace

std::string NewDicomUid() { return UidOf(QUuid::createUuid()); }

std::string NameBasedDicomUid(std::string_view name) {
  return UidOf(QUuid::createUuidV5(kVelmarinNamespace,
                                   QByteArray(name.data(), static_cast<qsizetype>(name.size()))));
}

bool IsValidDicomUid(std::string_view uid) {
  if (uid.empty() || uid.size() > 64) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = uid.find('.', start);
    const std::string_view part = uid.substr(start, dot - start);
    if (part.empty() || (part.size() > 1 && part[0] == '0') ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace velmarin
