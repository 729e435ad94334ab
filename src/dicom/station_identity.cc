#include "dicom/station_identity.h"

#include <unistd.h>

#include <climits>
#include <fstream>

#include "dicom/dicom_uids.h"

namespace velmarin {
namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

}  // namespace

std::string StationKey(const ProgramDir& program_dir) {
  std::string machine;
  std::ifstream("/etc/machine-id") >> machine;
  if (machine.empty()) machine = HostName();
  return machine + "\n" + program_dir.path.string();
}

std::string StationName() {
  std::string name = HostName();
  name = name.substr(0, name.find('.')).substr(0, 16);
  return name.empty() ? "VELMARIN" : name;
}

std::string StudyUidFor(const std::string& station_key, const Cp932Text& id,
                        const LocalTime& clock) {
  const std::string day = std::to_string(clock.year * 10000 + clock.month * 100 + clock.day);
  return NameBasedDicomUid("study\n" + station_key + "\n" + std::string(id.view()) + "\n" + day);
}

}  // namespace velmarin
