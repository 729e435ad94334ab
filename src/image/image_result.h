#pragma once

#include <string>

namespace velmarin {

// What an image function ran into. The image layer only says what failed; the texts a user
// sees are chosen above it (transfer/image_failure_texts.h).
enum class ImageStatus {
  kDone,
  kSourceNotOpened,     // the source file cannot be opened
  kSourceNotDecoded,    // the source is not a whole picture of its kind
  kFormatNotSupported,  // a picture of a kind that cannot be converted
  kTargetNotCreated,    // the target cannot be created, or its name cannot be had
  kTargetNotWritten,    // the encoder or the disk failed while the target was written
  kOutOfMemory,         // no memory for the picture or its drawing
  kCopyFailed,          // every attempt to copy the source failed
};

// One image function's result: the status, and what a library said on the way (its error, or
// the damage it decoded past), plain text; empty when it said nothing. A done result may
// carry such a note.
struct ImageResult {
  ImageStatus status = ImageStatus::kDone;
  std::string detail;  // UTF-8

  bool ok() const { return status == ImageStatus::kDone; }
};

}  // namespace velmarin
