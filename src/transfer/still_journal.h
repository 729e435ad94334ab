#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/own_message.h"
#include "base/unique_fd.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

// The stills that arrived and are not yet transferred, kept in the program folder so that a
// crash or a power cut loses none and sends none twice: "velmarin.journal", a log of records,
// one a line: a still that joined (its path, identity, creation time, arrival clock and ID),
// the target its image is about to claim (written before the claim, with the content of the
// image), a still that left. Each change is appended and synced; the log is written whole
// (through an AtomicFile, synced) at its first change in a run and whenever it holds many more
// records than stills, and removed when no still is left. There is no bound on the stills.
// A journal of the first form (all stills between a header and an "end N" line) is read too.
inline constexpr std::string_view kJournalFileName = "velmarin.journal";

class StillJournal {
 public:
  explicit StillJournal(const ProgramDir& program_dir)
      : file_(program_dir.path / kJournalFileName) {}

  // Brings the journal in step with `stills`, every still not yet sent: what joined and what
  // left since the last call is appended. False (errno set) when it could not be written;
  // the next call then writes it whole.
  bool Write(const std::vector<const ArrivedStill*>& stills);
  // Notes `still.claimed`, before the claim. False (errno set) when it could not be written,
  // or when `still` is not in the journal.
  bool NoteClaim(const ArrivedStill& still);
  const std::filesystem::path& file() const { return file_; }

 private:
  bool Rewrite(const std::vector<const ArrivedStill*>& stills);
  bool Append(const std::string& records, std::size_t count);

  std::filesystem::path file_;
  bool own_ = false;  // the file was written whole by this object, and appended to since
  UniqueFd append_;   // the file, open for appending while own_
  // The keys of the stills the file holds, each with the last Write that saw it.
  std::unordered_map<std::string, std::uint64_t> journalled_;
  std::uint64_t writes_ = 0;
  std::size_t records_ = 0;  // the records in the file
};

// The journal's text for `stills` (written whole), and the stills read back from a journal's
// text (their settings are `settings`, the ones in force now). nullopt with `error` when the
// text is not a well-formed journal; a record that a crash cut short at its end is left out.
std::string JournalText(const std::vector<const ArrivedStill*>& stills);
std::optional<std::vector<ArrivedStill>> ParseJournal(std::string_view text,
                                                      const Settings& settings, std::string* error);

// Reads the journal of the last run at start-up: the stills it names that are still in their
// folder, unchanged, with the ID and clock they arrived with, and the target each claimed. A
// journal that cannot be read or is damaged is never trusted: it is renamed to
// "velmarin.journal.damaged" and `report` is given a message that says so.
std::vector<ArrivedStill> ReplayJournal(const ProgramDir& program_dir, const Settings& settings,
                                        const std::function<void(const OwnMessage&)>& report);

}  // namespace velmarin
