#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

// The stills that arrived and are not yet transferred, kept in the program folder so that a
// crash or a power cut loses none: "velmarin.journal", one line per still (its path,
// identity, creation time, arrival clock and ID), written
// whole through an AtomicFile (synced) whenever a still arrives or leaves, removed when none
// is left. At most kMaxStills are kept, oldest first.
inline constexpr std::string_view kJournalFileName = "velmarin.journal";

class StillJournal {
 public:
  static constexpr std::size_t kMaxStills = 2000;

  explicit StillJournal(const ProgramDir& program_dir)
      : file_(program_dir.path / kJournalFileName) {}

  // Replaces the journal with `stills` (the first kMaxStills). False (errno set) when it could
  // not be written; the old journal then stays.
  bool Write(const std::vector<const ArrivedStill*>& stills) const;
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// The journal's text for `stills`, and the stills read back from such a text (their settings
// are `settings`, the ones in force now). nullopt with `error` when the text is not a whole,
// well-formed journal.
std::string JournalText(const std::vector<const ArrivedStill*>& stills);
std::optional<std::vector<ArrivedStill>> ParseJournal(std::string_view text,
                                                      const Settings& settings, std::string* error);

// Reads the journal of the last run at start-up: the stills it names that are still in their
// folder, unchanged, with the ID and clock they arrived with. A journal that cannot be read
// or is damaged is never trusted: it is renamed to "velmarin.journal.damaged" and
// `report` is given a message that says so.
std::vector<ArrivedStill> ReplayJournal(const ProgramDir& program_dir, const Settings& settings,
                                        const std::function<void(const OwnMessage&)>& report);

}  // namespace velmarin
