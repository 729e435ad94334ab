#include "platform/xtest_input.h"

#include <X11/Xlib.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/virtual_key_keysyms.h"

namespace velmarin {
namespace {

// Replies are malloc'd by XCB.
template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

}  // namespace

XTestInput::XTestInput(MessageSink& messages, std::string display_name)
    : messages_(messages), display_name_(std::move(display_name)), skipped_keys_(messages) {}

XTestInput::~XTestInput() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

xcb_connection_t* XTestInput::EnsureConnection() {
  if (lost_) return nullptr;
  if (connection_ != nullptr) return connection_;
  const char* env_name = std::getenv("DISPLAY");
  const std::string name = !display_name_.empty() ? display_name_ : env_name ? env_name : "";
  OwnMessage problem;
  if (name.empty()) {
    problem = {"DISPLAY is not set, so there is no X display.",
               "DISPLAY が設定されていないため、X ディスプレイがありません。"};
  } else {
    int screen_number = 0;
    xcb_connection_t* connection = xcb_connect(name.c_str(), &screen_number);
    const xcb_query_extension_reply_t* xtest =
        xcb_connection_has_error(connection) ? nullptr
                                             : xcb_get_extension_data(connection, &xcb_test_id);
    if (xtest == nullptr) {
      problem = {"the X display \"" + name + "\" cannot be opened.",
                 "X ディスプレイ「" + name + "」を開けません。"};
    } else if (!xtest->present) {
      problem = {"the X display \"" + name + "\" has no XTEST extension.",
                 "X ディスプレイ「" + name + "」に XTEST 拡張がありません。"};
    } else {
      xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
      for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
      root_ = screens.data->root;
      screen_width_ = screens.data->width_in_pixels;
      screen_height_ = screens.data->height_in_pixels;
      connection_ = connection;
      unavailable_reported_ = false;
      return connection_;
    }
    xcb_disconnect(connection);
  }
  if (!unavailable_reported_) {
    unavailable_reported_ = true;
    messages_.ShowOwnMessage({"Key strokes and clicks cannot be synthesized: " + problem.english +
                                  " The foot switch and the event test send nothing.",
                              "キーストロークとクリックを送れません。" + problem.japanese +
                                  "フットスイッチとイベント確認は何も送りません。"});
  }
  return nullptr;
}

bool XTestInput::ConnectionLost() {
  if (lost_) return true;
  if (connection_ == nullptr || !xcb_connection_has_error(connection_)) return false;
  lost_ = true;
  xcb_disconnect(connection_);
  connection_ = nullptr;
  messages_.ShowOwnMessage(
      {"The connection to the X display was lost; key strokes and clicks are no longer sent "
       "until Velmarin is started again. Images are still taken over.",
       "X ディスプレイとの接続が切れました。Velmarin を起動し直すまでキーとクリックは送られません。"
       "画像の転送は続きます。"});
  return true;
}

bool XTestInput::available() {
  std::lock_guard lock(mutex_);
  return !ConnectionLost() && EnsureConnection() != nullptr;
}

std::uint8_t XTestInput::KeycodeFor(std::uint32_t keysym) {
  // Asked afresh each time: the keyboard's layout may have changed since the last stroke.
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  const XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(
      xcb_get_keyboard_mapping_reply(
          connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr),
      &std::free);
  if (!mapping) return 0;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  const int per_keycode = mapping->keysyms_per_keycode;
  // Column by column, as Xlib looks: a key that gives the keysym unshifted comes first.
  for (int column = 0; column < per_keycode; ++column) {
    for (int key = 0; key < count; ++key) {
      if (keysyms[key * per_keycode + column] == keysym) {
        return static_cast<std::uint8_t>(setup->min_keycode + key);
      }
    }
  }
  return 0;
}

bool XTestInput::SendKey(int virtual_key, bool press) {
  std::lock_guard lock(mutex_);
  if (ConnectionLost() || EnsureConnection() == nullptr) return false;
  const std::uint32_t keysym = KeysymForVirtualKey(virtual_key);
  if (keysym == 0) {
    skipped_keys_.Report(virtual_key, "stands for no key of an X keyboard",
                         "X のキーボードのどのキーにも当たらない");
    return false;
  }
  const std::uint8_t keycode = KeycodeFor(keysym);
  if (ConnectionLost()) return false;
  if (keycode == 0) {
    const char* keysym_name = XKeysymToString(keysym);
    const std::string name = keysym_name ? keysym_name : "?";
    skipped_keys_.Report(virtual_key, "(" + name + ") has no key on the X display's keyboard",
                         "、X ディスプレイのキーボードにないキー（" + name + "）の");
    return false;
  }
  xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                      XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  return true;
}

bool XTestInput::KeyDown(int virtual_key) { return SendKey(virtual_key, true); }

bool XTestInput::KeyUp(int virtual_key) { return SendKey(virtual_key, false); }

bool XTestInput::MoveTo(int x, int y) {
  std::lock_guard lock(mutex_);
  if (ConnectionLost() || EnsureConnection() == nullptr) return false;
  // The request carries 16-bit coordinates; keep far-off values at the screen's edge instead
  // of letting them wrap around to some other place.
  const int max_x = std::max(0, screen_width_ - 1);
  const int max_y = std::max(0, screen_height_ - 1);
  xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                      static_cast<std::int16_t>(std::clamp(x, 0, max_x)),
                      static_cast<std::int16_t>(std::clamp(y, 0, max_y)), 0);
  return true;
}

bool XTestInput::SendLeftButton(bool press) {
  std::lock_guard lock(mutex_);
  if (ConnectionLost() || EnsureConnection() == nullptr) return false;
  xcb_test_fake_input(connection_, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                      XCB_BUTTON_INDEX_1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  return true;
}

bool XTestInput::LeftButtonDown() { return SendLeftButton(true); }

bool XTestInput::LeftButtonUp() { return SendLeftButton(false); }

bool XTestInput::Flush() {
  std::lock_guard lock(mutex_);
  // Only an open display has events to deliver; no new connection attempt just for this.
  if (connection_ == nullptr || ConnectionLost()) return false;
  // A round trip, so the server has handled every request when this returns.
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  // Errors of refused requests arrive as events; nobody needs them.
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
  return !ConnectionLost();
}

}  // namespace velmarin
