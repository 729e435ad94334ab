#pragma once

#include <memory>
#include <mutex>

struct sd_bus;

namespace velmarin {

// Whether the user's session has its screen locked.
class ScreenLock {
 public:
  virtual ~ScreenLock() = default;
  // True while the screen is locked; false when it is not or nobody can tell.
  virtual bool Locked() = 0;
};

// The session's LockedHint, asked of systemd-logind over the system bus at each call. The
// session is the caller's, or the user's graphical one for a program outside any session (a
// user service). Without a bus or logind the screen counts as unlocked.
class LogindScreenLock final : public ScreenLock {
 public:
  LogindScreenLock();
  ~LogindScreenLock() override;
  LogindScreenLock(const LogindScreenLock&) = delete;
  LogindScreenLock& operator=(const LogindScreenLock&) = delete;

  bool Locked() override;

 private:
  std::mutex mutex_;
  sd_bus* bus_ = nullptr;  // opened on first use; sd-bus connections are not thread-safe
};

}  // namespace velmarin
