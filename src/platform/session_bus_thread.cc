#include "platform/session_bus_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "base/c_handle.h"
#include "base/errno_text.h"

namespace velmarin {
namespace {

// Closed without a flush, which could wait on the bus for ever.
using BusHandle = CHandle<sd_bus, sd_bus_close_unref>;

// How long the end waits for the bus to take what is left to send (answers to calls).
constexpr std::uint64_t kFinalSendUs = 1'000'000;

std::uint64_t NowUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

// The poll timeout in milliseconds until sd-bus's next deadline (CLOCK_MONOTONIC, in µs), or
// -1 without one.
int TimeoutMs(sd_bus* bus) {
  std::uint64_t until = 0;
  if (sd_bus_get_timeout(bus, &until) < 0 || until == UINT64_MAX) return -1;
  const std::uint64_t now = NowUs();
  return until <= now ? 0 : static_cast<int>((until - now + 999) / 1000);
}

// Sends what is queued for the bus, for `budget_us` at most.
void SendQueued(sd_bus* bus, std::uint64_t budget_us) {
  const std::uint64_t until = NowUs() + budget_us;
  std::uint64_t queued = 0;
  while (sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued > 0) {
    if (sd_bus_process(bus, nullptr) < 0) return;
    const std::uint64_t now = NowUs();
    if (now >= until) return;
    pollfd bus_fd{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0};
    poll(&bus_fd, 1, static_cast<int>((until - now + 999) / 1000));
  }
}

}  // namespace

sd_bus* OpenSessionBus(std::string* error) {
  sd_bus* bus = nullptr;
  const int result = sd_bus_open_user(&bus);
  if (result >= 0) return bus;
  // sd-bus's word for a session without a bus address.
  *error = result == -ENOMEDIUM ? "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set"
                                : ErrnoText(-result);
  return nullptr;
}

SessionBusThread::SessionBusThread() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SessionBusThread::~SessionBusThread() { Stop(); }

void SessionBusThread::Start(Work on_connected,
                             std::function<void(const std::string& reason)> on_lost) {
  thread_ = std::thread([this, on_connected = std::move(on_connected),
                         on_lost = std::move(on_lost)] { Run(on_connected, on_lost); });
}

void SessionBusThread::Post(Work work) {
  {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    posted_.push_back(std::move(work));
  }
  Wake();
}

void SessionBusThread::Stop(Work last) {
  {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    last_ = std::move(last);
  }
  Wake();
  if (thread_.joinable()) thread_.join();
}

void SessionBusThread::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(wake_.get(), &one, sizeof one);
}

bool SessionBusThread::RunPosted(sd_bus* bus) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t drained = read(wake_.get(), &count, sizeof count);
  std::vector<Work> work;
  Work last;
  bool stopping = false;
  {
    const std::lock_guard lock(mutex_);
    work.swap(posted_);
    stopping = stopping_;
    last = std::move(last_);
  }
  for (const Work& item : work) {
    if (bus != nullptr) item(bus);
  }
  if (stopping && last && bus != nullptr) last(bus);
  return !stopping;
}

void SessionBusThread::Run(const Work& on_connected,
                           const std::function<void(const std::string&)>& on_lost) {
  std::string error;
  BusHandle bus(OpenSessionBus(&error));
  if (bus) {
    on_connected(bus.get());
  } else {
    on_lost(error);
  }
  int result = 0;
  while (true) {
    if (bus) {
      // sd-bus handles one message per call, as long as there are any.
      do {
        result = sd_bus_process(bus.get(), nullptr);
      } while (result > 0);
      if (result < 0) {
        on_lost(ErrnoText(-result));
        bus.reset();
      }
    }
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {-1, 0, 0}};
    if (bus)
      fds[1] = {sd_bus_get_fd(bus.get()), static_cast<short>(sd_bus_get_events(bus.get())), 0};
    if (poll(fds, bus ? 2 : 1, bus ? TimeoutMs(bus.get()) : -1) < 0 && errno != EINTR) break;
    if ((fds[0].revents & POLLIN) != 0 && !RunPosted(bus.get())) break;
  }
  // What did not go within the bound is dropped with the connection.
  if (bus) SendQueued(bus.get(), kFinalSendUs);
}

}  // namespace velmarin
