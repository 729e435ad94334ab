#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"
#include "dicom/secondary_capture.h"
#include "settings/program_dir.h"

namespace velmarin {

// A transferred still waiting for the PACS: its file in the transfer folder and what its
// instance says. Its copy in the outbox folder is named by its SOP Instance UID.
struct OutboxEntry {
  std::filesystem::path target;
  InstanceFacts facts;  // the institution and the station name are the destination's
};

// What the outbox keeps across a crash: the stills waiting, oldest first, and the SOP Instance
// UIDs of the last ones sent (a still the transfer takes again after a crash is then not sent
// a second time).
struct OutboxContent {
  std::vector<OutboxEntry> waiting;
  std::vector<std::string> sent;
};

// The outbox kept in the program folder, so that a crash or a power cut loses no still and
// sends none twice as two instances: "velmarin.pacs-journal", a header, one line per still
// waiting (its target, ID, arrival clock, instance number and three UIDs), one line "sent UID"
// per still sent lately, an "end N" line; written whole through an AtomicFile (synced)
// whenever a still joins or leaves. Each waiting still's JPEG is kept in "pacs-outbox".
inline constexpr std::string_view kOutboxJournalName = "velmarin.pacs-journal";
inline constexpr std::string_view kOutboxFolderName = "pacs-outbox";

class OutboxJournal {
 public:
  static constexpr std::size_t kMaxEntries = 100'000;
  static constexpr std::size_t kRecentlySent = 32;

  explicit OutboxJournal(const ProgramDir& program_dir);

  // Replaces the journal with `content` (removed when it is empty). False (errno set) when it
  // could not be written; the old journal then stays.
  bool Write(const OutboxContent& content) const;
  // The journal of the last run. A journal that cannot be read or is damaged is never
  // trusted: it is renamed "velmarin.pacs-journal.damaged", `report` gets a line (UTF-8) and
  // the result is nullopt.
  std::optional<OutboxContent> Replay(const std::function<void(const OwnMessage&)>& report) const;

  // Where the still's own copy of its JPEG is kept while it waits.
  std::filesystem::path CopyOf(const OutboxEntry& entry) const;
  const std::filesystem::path& folder() const { return folder_; }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  std::filesystem::path folder_;
};

// The journal's text for `content`, and what is read back from such a text: nullopt with
// `error` when the text is not a whole, well-formed journal.
std::string OutboxJournalText(const OutboxContent& content);
std::optional<OutboxContent> ParseOutboxJournal(std::string_view text, std::string* error);

}  // namespace velmarin
