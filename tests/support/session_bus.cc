#include "support/session_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdlib>

namespace velmarin::test {
namespace {

// The session bus's rules without its service folders, so no notification server or other
// program is ever started by a call; monitoring (dbus-monitor) is allowed.
constexpr char kConfig[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=DIR</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

constexpr char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
  std::string config = kConfig;
  config.replace(config.find("DIR"), 3, dir_.path().string());
  WriteFileBytes(dir_ / "bus.conf", config);
  int address_pipe[2];
  if (pipe(address_pipe) != 0) {
    error_ = "no pipe";
    return;
  }
  // Made before the fork: the child only closes and executes.
  const std::string config_option = "--config-file=" + (dir_ / "bus.conf").string();
  const std::string address_option = "--print-address=" + std::to_string(address_pipe[1]);
  const std::string log = (dir_ / "dbus-daemon.log").string();
  pid_ = fork();
  if (pid_ == 0) {
    close(address_pipe[0]);
    // It ends with the test, even one that crashes, and holds none of its streams: its notes
    // (it cannot raise its file limit as a user) go into its folder.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log_fd >= 0) {
      dup2(log_fd, 1);
      dup2(log_fd, 2);
    }
    execlp("dbus-daemon", "dbus-daemon", config_option.c_str(), "--nofork", address_option.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(address_pipe[1]);
  // The daemon writes its address once it listens: reading it is waiting for that.
  char buffer[512];
  ssize_t got = 0;
  while ((got = read(address_pipe[0], buffer, sizeof buffer)) > 0) {
    address_.append(buffer, static_cast<std::size_t>(got));
    if (address_.find('\n') != std::string::npos) break;
  }
  close(address_pipe[0]);
  if (address_.find('\n') == std::string::npos) {
    error_ = "dbus-daemon did not start (is the dbus-daemon package installed?)";
    address_.clear();
    return;
  }
  address_.erase(address_.find('\n'));
  if (const char* previous = std::getenv(kAddressVariable)) previous_address_ = previous;
  setenv(kAddressVariable, address_.c_str(), 1);
}

PrivateSessionBus::~PrivateSessionBus() {
  if (previous_address_) {
    setenv(kAddressVariable, previous_address_->c_str(), 1);
  } else {
    unsetenv(kAddressVariable);
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

StandInNotificationServer::StandInNotificationServer() {
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", OnNotify, 0),
      SD_BUS_VTABLE_END,
  };
  bus_.Start(
      [this](sd_bus* bus) {
        const bool had =
            sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/Notifications",
                                     "org.freedesktop.Notifications", kVtable, this) >= 0 &&
            sd_bus_request_name(bus, "org.freedesktop.Notifications", 0) >= 0;
        const std::lock_guard lock(mutex_);
        ready_ = had;
        answered_ = true;
        changed_.notify_all();
      },
      [this](const std::string&) {
        const std::lock_guard lock(mutex_);
        answered_ = true;
        changed_.notify_all();
      });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return answered_; });
}

StandInNotificationServer::~StandInNotificationServer() { bus_.Stop(); }

int StandInNotificationServer::OnNotify(sd_bus_message* call, void* self, sd_bus_error*) {
  auto& server = *static_cast<StandInNotificationServer*>(self);
  Notice notice;
  const char* app_name = "";
  const char* icon = "";
  const char* summary = "";
  const char* body = "";
  int result =
      sd_bus_message_read(call, "susss", &app_name, &notice.replaces_id, &icon, &summary, &body);
  if (result < 0) return result;
  notice.app_name = app_name;
  notice.summary = summary;
  notice.body = body;
  if ((result = sd_bus_message_skip(call, "as")) < 0) return result;
  if ((result = sd_bus_message_enter_container(call, 'a', "{sv}")) < 0) return result;
  while (sd_bus_message_enter_container(call, 'e', "sv") > 0) {
    const char* key = "";
    sd_bus_message_read(call, "s", &key);
    const std::string name = key;
    if (name == "urgency") {
      std::uint8_t urgency = 0;
      sd_bus_message_read(call, "v", "y", &urgency);
      notice.urgency = urgency;
    } else if (name == "desktop-entry") {
      const char* entry = "";
      sd_bus_message_read(call, "v", "s", &entry);
      notice.desktop_entry = entry;
    } else {
      sd_bus_message_skip(call, "v");
    }
    sd_bus_message_exit_container(call);
  }
  std::uint32_t id = 0;
  {
    const std::lock_guard lock(server.mutex_);
    server.notices_.push_back(std::move(notice));
    id = static_cast<std::uint32_t>(server.notices_.size());
    server.changed_.notify_all();
  }
  return sd_bus_reply_method_return(call, "u", id);
}

std::vector<StandInNotificationServer::Notice> StandInNotificationServer::WaitForNotices(
    std::size_t count, std::chrono::seconds limit) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, limit, [&] { return notices_.size() >= count; });
  return notices_;
}

}  // namespace velmarin::test
