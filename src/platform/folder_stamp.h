#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "base/file_naming.h"

namespace velmarin {

// A folder and the times its entries move: adding, removing or renaming an entry moves the
// modification time, and every change of the folder moves the change time, which no program
// can set back.
struct FolderStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t modified_ns = 0;  // nanoseconds since the epoch
  std::int64_t changed_ns = 0;

  bool operator==(const FolderStamp&) const = default;
};

// The stamp of the folder `folder`, asked of the file system itself (a network client's
// cached time may be a minute old); nullopt when it is no folder or cannot be queried.
std::optional<FolderStamp> StampOfFolder(const AtPath& folder);

// How close to a look at the folder its times are not trusted: a file system that keeps
// whole seconds (FAT: two) may give a later change the same time; one that keeps fractions
// of a second steps by a clock tick at most.
struct FolderTimeMargins {
  std::chrono::nanoseconds coarse = std::chrono::seconds(2);
  std::chrono::nanoseconds fine = std::chrono::milliseconds(100);
};

// Whether `stamp`, taken before a look at the folder that began at `looked_ns` (wall clock,
// nanoseconds since the epoch), is sure to move with any change after that look: its times
// lie far enough before it that a later change cannot fall into the same clock step.
bool StampSettledBefore(const FolderStamp& stamp, std::int64_t looked_ns,
                        const FolderTimeMargins& margins = {});

// The wall clock in nanoseconds since the epoch, as the file system's times count.
std::int64_t WallClockNs();

}  // namespace velmarin
