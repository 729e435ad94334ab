#pragma once

#include <optional>
#include <string>

#include "base/file_naming.h"
#include "naming/transfer_path.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

// The content of a finished image, to know it again: the SHA-256 of its bytes, in hexadecimal.
// nullopt when the file cannot be read.
std::optional<std::string> ContentHash(const AtPath& file);

// Whether the image `claimed` names lies in `folder` under its claimed name with the content
// it was claimed with: it was sent by a run that ended before its journal could say so.
bool WasSent(const ClaimedTarget& claimed, const OpenTransferFolder& folder);

}  // namespace velmarin
