// Feeds arbitrary bytes to the parser of the journal of stills waiting for the PACS, and to the
// reader of a JPEG's frame header. What the journal parser accepts must come out of the
// journal's own writer unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dicom/dicom_uids.h"
#include "dicom/jpeg_frame.h"
#include "dicom/outbox_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto frame = velmarin::ReadJpegFrame(text)) {
    if (frame->width <= 0 || frame->height <= 0 ||
        (frame->components != 1 && frame->components != 3)) {
      __builtin_trap();
    }
  }
  std::string error;
  const auto content = velmarin::ParseOutboxJournal(text, &error);
  if (!content) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const auto again = velmarin::ParseOutboxJournal(velmarin::OutboxJournalText(*content), &error);
  if (!again || again->waiting.size() != content->waiting.size() || again->sent != content->sent) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < content->waiting.size(); ++i) {
    const auto& a = again->waiting[i];
    const auto& b = content->waiting[i];
    if (a.target != b.target || a.facts.patient_id != b.facts.patient_id ||
        a.facts.sop_uid != b.facts.sop_uid || !velmarin::IsValidDicomUid(a.facts.sop_uid)) {
      __builtin_trap();
    }
  }
  return 0;
}
