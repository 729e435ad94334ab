#pragma once

#include <string>

#include "base/cp932_text.h"
#include "naming/local_time.h"
#include "settings/program_dir.h"

namespace velmarin {

// What tells this station from others in the archive: the machine (its machine-id, else its
// host name) and the program folder.
std::string StationKey(const ProgramDir& program_dir);
// The station's name in its instances: the host name's first label, at most 16 characters.
std::string StationName();
// The Study Instance UID of the stills of `id` taken on the day of `clock` at the station
// `station_key`: the same on every run, another for another ID, day or station.
std::string StudyUidFor(const std::string& station_key, const Cp932Text& id,
                        const LocalTime& clock);

}  // namespace velmarin
