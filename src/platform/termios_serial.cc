#include "platform/termios_serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "base/unique_fd.h"

namespace velmarin {
namespace {

class TermiosSerialPort final : public SerialPort {
 public:
  explicit TermiosSerialPort(int fd) : fd_(fd) {}
  ~TermiosSerialPort() override {
    // Leave the line open to others again; the flock ends with the descriptor.
    ::ioctl(fd_.get(), TIOCNXCL);
  }

  bool RaiseDtrRts() override {
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    const bool dtr_raised = ::ioctl(fd_.get(), TIOCMBIS, &dtr) == 0;
    const bool rts_raised = ::ioctl(fd_.get(), TIOCMBIS, &rts) == 0;
    return dtr_raised && rts_raised;
  }

  bool ReadModemStatus(std::uint32_t* status) override {
    int lines = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &lines) != 0) return false;
    std::uint32_t word = 0;
    if (lines & TIOCM_CTS) word |= kModemCts;
    if (lines & TIOCM_DSR) word |= kModemDsr;
    if (lines & TIOCM_RNG) word |= kModemRing;
    if (lines & TIOCM_CAR) word |= kModemRlsd;
    *status = word;
    return true;
  }

 private:
  UniqueFd fd_;
};

}  // namespace

std::optional<std::string> SerialDevicePath(const std::string& name) {
  if (name.starts_with("/dev/")) return name;
  if (name.size() == 4 && name.starts_with("COM") && name[3] >= '1' && name[3] <= '9') {
    return "/dev/ttyS" + std::to_string(name[3] - '1');
  }
  return std::nullopt;
}

std::unique_ptr<SerialPort> TermiosSerialOpener::Open(const std::string& name) {
  const auto path = SerialDevicePath(name);
  if (!path) return nullptr;
  UniqueFd fd(::open(path->c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return nullptr;
  // The flock keeps out cooperating programs (and root, whom TIOCEXCL does not stop); TIOCEXCL
  // keeps out the rest and refuses anything that is not a terminal.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
  if (::ioctl(fd.get(), TIOCEXCL) != 0) return nullptr;
  return std::make_unique<TermiosSerialPort>(fd.release());
}

std::vector<std::string> TermiosSerialOpener::UsbSerialDeviceNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it("/dev", error), end; !error && it != end;
       it.increment(error)) {
    const std::string file = it->path().filename().string();
    if (file.starts_with("ttyUSB") || file.starts_with("ttyACM")) names.push_back(it->path());
  }
  return names;
}

}  // namespace velmarin
