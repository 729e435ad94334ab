#include "control/desktop_notifications.h"

#include <systemd/sd-bus.h>

#include "base/c_handle.h"

namespace velmarin {
namespace {

using MessageHandle = CHandle<sd_bus_message, sd_bus_message_unref>;

constexpr char kAppId[] = "org.velmarin.Velmarin";
// The urgency hint a notification server reads (0 low, 1 normal, 2 critical).
constexpr std::uint8_t kNormal = 1;
constexpr std::uint8_t kCritical = 2;

}  // namespace

DesktopNotice FailedStillNotice(const std::filesystem::path& source, const std::string& text) {
  return {"転送できませんでした: " + source.filename().string(), text, true, false};
}

DesktopNotice WaitingNotice(std::uint32_t waiting) {
  if (waiting == 0) return {"待っていた画像をすべて転送しました", "", false, true};
  return {"転送を待っている画像: " + std::to_string(waiting) + "枚",
          "転送先に書けるようになると、届いた順に送られます。", false, true};
}

void DesktopNotifications::Send(sd_bus* bus, const DesktopNotice& notice) {
  sd_bus_message* raw = nullptr;
  if (sd_bus_message_new_method_call(bus, &raw, "org.freedesktop.Notifications",
                                     "/org/freedesktop/Notifications",
                                     "org.freedesktop.Notifications", "Notify") < 0) {
    return;
  }
  const MessageHandle call(raw);
  const std::uint32_t replaces = notice.about_waiting ? waiting_notice_id_ : 0;
  // An expiry of -1 leaves it to the server; a critical notice stays until it is seen.
  if (sd_bus_message_append(call.get(), "susssas", "Velmarin", replaces, kAppId,
                            notice.summary.c_str(), notice.body.c_str(), 0) < 0 ||
      sd_bus_message_append(call.get(), "a{sv}", 2, "desktop-entry", "s", kAppId, "urgency", "y",
                            notice.critical ? kCritical : kNormal) < 0 ||
      sd_bus_message_append(call.get(), "i", -1) < 0) {
    return;
  }
  // Nothing waits for the answer; only the id of a notice about waiting stills is kept, so the
  // next one replaces it.
  sd_bus_call_async(bus, nullptr, call.get(), notice.about_waiting ? OnWaitingReply : nullptr, this,
                    0);
}

int DesktopNotifications::OnWaitingReply(sd_bus_message* reply, void* self, sd_bus_error*) {
  std::uint32_t id = 0;
  if (!sd_bus_message_is_method_error(reply, nullptr) &&
      sd_bus_message_read(reply, "u", &id) >= 0) {
    static_cast<DesktopNotifications*>(self)->waiting_notice_id_ = id;
  }
  return 0;
}

}  // namespace velmarin
