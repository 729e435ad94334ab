#pragma once

#include <cstdint>
#include <string>

#include "dicom/network_interrupt.h"
#include "settings/user_config.h"

class DcmDataset;

namespace velmarin {

// How one exchange with the PACS ended.
enum class DicomResult {
  kDone,        // answered with success (a store may carry a warning in `text`)
  kRetry,       // down, unreachable, busy, broke off, or answered nonsense: try again later
  kRefused,     // a refusal that will not change while the settings stay as they are
  kUnsendable,  // the instance itself cannot be sent (its picture does not decode)
  kStopped,     // the interrupt ended it
};

struct DicomOutcome {
  DicomResult result = DicomResult::kDone;
  std::string text;           // what failed, or a store's warning; empty for a plain success
  bool uncompressed = false;  // the receiver took no JPEG Baseline: the pixels went decoded
};

// C-ECHO: whether the destination answers, and if not what failed, in words for the user.
DicomOutcome EchoDestination(const DicomDestination& destination, NetworkInterrupt& interrupt);

// C-STORE of `dataset`, a Secondary Capture image in JPEG Baseline, on an association of its
// own. A receiver that takes the image only uncompressed gets its pixels decoded (the
// dataset is changed so). Only a success status counts as stored; the warnings B000, B006 and
// B007 count too, and are said in `text`. A malformed or missing answer ends the
// association (kRetry). Every wait is bounded by the destination's timeout, and ends at once
// when `interrupt` is triggered.
DicomOutcome StoreInstance(const DicomDestination& destination, DcmDataset& dataset,
                           const std::string& sop_uid, NetworkInterrupt& interrupt);

// What a C-STORE response status means for the instance.
DicomOutcome StoreStatusOutcome(std::uint16_t status);

}  // namespace velmarin
