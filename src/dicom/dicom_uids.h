#pragma once

#include <string>
#include <string_view>

namespace velmarin {

// DICOM unique identifiers under the root "2.25" (a UUID written as one decimal number), so
// no registered root is needed and two stations never make the same one.

// A UID from a new random UUID: one per instance, one per monitoring run's series.
std::string NewDicomUid();
// The same UID for the same `name` on every run: a name-based UUID of the program's own
// namespace.
std::string NameBasedDicomUid(std::string_view name);
// Whether `uid` is a well-formed UID: at most 64 characters, numbers separated by dots,
// none with a leading zero.
bool IsValidDicomUid(std::string_view uid);

}  // namespace velmarin
