#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/secondary_capture.h"
#include "settings/program_dir.h"

namespace velmarin {

// A transferred still waiting for the PACS: its file in the transfer folder and what its
// instance says. Its copy in the outbox folder is named by its SOP Instance UID.
struct OutboxEntry {
  std::filesystem::path target;
  InstanceFacts facts;  // the institution and the station name are the destination's
};

// The stills not yet sent to the PACS, kept in the program folder so that a crash or a power
// cut loses none and sends none twice as two instances: "velmarin.pacs-journal", a header,
// one line per still (its target, ID, arrival clock, instance number and three UIDs), an
// "end N" line; written whole through an AtomicFile (synced) whenever a still joins or
// leaves, removed when none is left. Each still's JPEG is kept beside it in "pacs-outbox".
inline constexpr std::string_view kOutboxJournalName = "velmarin.pacs-journal";
inline constexpr std::string_view kOutboxFolderName = "pacs-outbox";

class OutboxJournal {
 public:
  static constexpr std::size_t kMaxEntries = 100'000;

  explicit OutboxJournal(const ProgramDir& program_dir);

  // Replaces the journal with `entries`. False (errno set) when it could not be written; the
  // old journal then stays.
  bool Write(const std::vector<OutboxEntry>& entries) const;
  // The journal of the last run. A journal that cannot be read or is damaged is never
  // trusted: it is renamed "velmarin.pacs-journal.damaged", `report` gets a line (UTF-8) and
  // the result is nullopt.
  std::optional<std::vector<OutboxEntry>> Replay(
      const std::function<void(std::string_view)>& report) const;

  // Where the still's own copy of its JPEG is kept while it waits.
  std::filesystem::path CopyOf(const OutboxEntry& entry) const;
  const std::filesystem::path& folder() const { return folder_; }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  std::filesystem::path folder_;
};

// The journal's text for `entries`, and the entries read back from such a text: nullopt with
// `error` when the text is not a whole, well-formed journal.
std::string OutboxJournalText(const std::vector<OutboxEntry>& entries);
std::optional<std::vector<OutboxEntry>> ParseOutboxJournal(std::string_view text,
                                                           std::string* error);

}  // namespace velmarin
