#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"

namespace velmarin {

// The program's journals (what a crash must not lose): a header line naming the kind and its
// version, one line per entry, and "end N" with the count, so a file cut short is told from a
// whole one. Written whole and synced, removed when no entry is left.

// The journal's text for the entry lines `lines` (each without its line end).
std::string JournalDocument(std::string_view header, const std::vector<std::string>& lines);

// The entry lines of a whole journal with `header` and at most `max_entries` entries; nullopt
// with `error` otherwise.
std::optional<std::vector<std::string_view>> JournalEntries(std::string_view text,
                                                            std::string_view header,
                                                            std::size_t max_entries,
                                                            std::string* error);

// The entries of a whole journal, each line read by `parse_line` (an std::optional<Entry> of
// a line); nullopt with `error` naming the first line it refuses.
template <typename Entry, typename ParseLine>
std::optional<std::vector<Entry>> ParseJournalEntries(std::string_view text,
                                                      std::string_view header,
                                                      std::size_t max_entries,
                                                      const ParseLine& parse_line,
                                                      std::string* error) {
  const auto lines = JournalEntries(text, header, max_entries, error);
  if (!lines) return std::nullopt;
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < lines->size(); ++i) {
    std::optional<Entry> entry = parse_line((*lines)[i]);
    if (!entry) {
      *error = "line " + std::to_string(i + 2) + " is damaged";
      return std::nullopt;
    }
    entries.push_back(std::move(*entry));
  }
  return entries;
}

// Replaces `file` with `document` through an AtomicFile (synced), or removes it when
// `document` is empty. False (errno set) when that failed; the old file then stays.
bool WriteJournalFile(const std::filesystem::path& file, const std::string& document);

// The text of the journal `file`: nullopt without `error` when there is none, nullopt with
// `error` when it cannot be read or is larger than `max_bytes`.
std::optional<std::string> ReadJournalFile(const std::filesystem::path& file,
                                           std::uintmax_t max_bytes, std::string* error);

// Renames a damaged journal to "NAME.damaged", never to be trusted; says how that went
// ("it was set aside as PATH", or why it could not be), in each language.
OwnMessage SetJournalAside(const std::filesystem::path& file);

}  // namespace velmarin
