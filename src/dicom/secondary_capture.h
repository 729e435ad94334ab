#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "naming/local_time.h"

class DcmDataset;

namespace velmarin {

inline constexpr const char* kSecondaryCaptureClass = "1.2.840.10008.5.1.4.1.1.7";

// What one transferred still's instance says besides its picture; fixed when the still joins
// the outbox, so the instance sent again after a crash is the same one.
struct InstanceFacts {
  Cp932Text patient_id;  // the ID the still arrived with
  LocalTime clock;       // when it arrived: the study's and the content's date and time
  int instance_number = 0;
  std::string study_uid;     // per ID, day and station
  std::string series_uid;    // per monitoring run
  std::string sop_uid;       // per still
  std::string institution;   // UTF-8; empty: none
  std::string station_name;  // at most 16 characters
};

// A Secondary Capture image of the JPEG file `jpeg`, in the JPEG Baseline transfer syntax:
// the file's bytes are its one fragment, unchanged (a zero byte after them when their count
// is odd, as fragments have an even length). Null with `error` when the file is no baseline
// JPEG of one or three components.
std::unique_ptr<DcmDataset> BuildSecondaryCapture(const InstanceFacts& facts, std::string_view jpeg,
                                                  std::string* error);

// Keeps DCMTK's own log off stderr: the program says what matters in its own words.
void QuietenDcmtk();

// Decodes the instance's pixels, for a receiver that takes no JPEG: little endian,
// uncompressed, RGB. False with `error` when the picture does not decode.
bool DecodeToUncompressed(DcmDataset& dataset, std::string* error);

// The ID as the PatientID's value: UTF-8, a backslash (which would split the value in two)
// as the yen sign it shows on a Japanese system, control characters as '?'. `non_ascii` says
// whether the value needs the UTF-8 character set.
std::string PatientIdValue(const Cp932Text& id, bool* non_ascii);

}  // namespace velmarin
