#include "platform/xtest_input.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/virtual_key_keysyms.h"
#include "settings/program_dir.h"
#include "settings/settings_file.h"
#include "support/program_process.h"
#include "support/recorded_messages.h"
#include "support/temp_dir.h"
#include "support/x_event_recorder.h"
#include "support/xvfb_server.h"
#include "switch/capture_event.h"

namespace velmarin {
namespace {

using test::RecordedXEvent;
using Kind = RecordedXEvent::Kind;

// Guards against a hang when input never arrives; the tests do not depend on the time taken.
constexpr std::chrono::seconds kPatience{20};

// The keys settings name most: letters (lower case: a virtual key names a key, not a
// character), Enter, and the modifiers a stroke is wrapped in; the ends of each run of codes
// catch a run that is off by one.
TEST(KeysymForVirtualKey, CommonKeysAndTheEndsOfEachRun) {
  EXPECT_EQ(KeysymForVirtualKey(0x41), XK_a);
  EXPECT_EQ(KeysymForVirtualKey(0x5A), XK_z);
  EXPECT_EQ(KeysymForVirtualKey(0x30), XK_0);
  EXPECT_EQ(KeysymForVirtualKey(0x39), XK_9);
  EXPECT_EQ(KeysymForVirtualKey(0x60), XK_KP_0);
  EXPECT_EQ(KeysymForVirtualKey(0x61), XK_KP_1);  // a numpad key, not the letter
  EXPECT_EQ(KeysymForVirtualKey(0x69), XK_KP_9);
  EXPECT_EQ(KeysymForVirtualKey(0x70), XK_F1);
  EXPECT_EQ(KeysymForVirtualKey(0x87), XK_F24);
  EXPECT_EQ(KeysymForVirtualKey(0x0D), XK_Return);
  EXPECT_EQ(KeysymForVirtualKey(0x10), XK_Shift_L);
  EXPECT_EQ(KeysymForVirtualKey(0x11), XK_Control_L);
  EXPECT_EQ(KeysymForVirtualKey(0x12), XK_Alt_L);
}

TEST(KeysymForVirtualKey, CodesWithoutAKeyAndOutOfRange) {
  // Mouse buttons, an unassigned code, OEM 8 (no key on a US layout), and beyond a byte.
  for (int code : {0x00, 0x01, 0x02, 0x04, 0x06, 0x3A, 0xDF, 0xFF, -1, 256}) {
    EXPECT_EQ(KeysymForVirtualKey(code), 0u) << code;
  }
}

// A code copied onto a wrong line of the table gives a keysym twice. Codes share one only where
// they name one key: neutral and left modifiers, the two Print and the two Clear codes, and the
// extra keys of a Japanese keyboard.
TEST(KeysymForVirtualKey, CodesShareAKeysymOnlyWhereTheyNameOneKey) {
  std::map<std::uint32_t, std::vector<int>> codes_of;
  for (int code = 0; code < 256; ++code) {
    if (const std::uint32_t keysym = KeysymForVirtualKey(code)) codes_of[keysym].push_back(code);
  }
  std::set<std::vector<int>> shared;
  for (const auto& [keysym, codes] : codes_of) {
    if (codes.size() > 1) shared.insert(codes);
  }
  EXPECT_EQ(shared, (std::set<std::vector<int>>{{0x0C, 0xFE},
                                                {0x10, 0xA0},
                                                {0x11, 0xA2},
                                                {0x12, 0xA4},
                                                {0x2A, 0x2C},
                                                {0xDC, 0xE2},
                                                {0xF3, 0xF4}}));
}

TEST(KeysymForVirtualKey, EveryMappedCodeNamesARealKeysym) {
  int mapped = 0;
  for (int code = 0; code < 256; ++code) {
    const std::uint32_t keysym = KeysymForVirtualKey(code);
    if (keysym == 0) continue;
    ++mapped;
    EXPECT_FALSE(test::KeysymName(keysym).empty()) << code;
  }
  EXPECT_GT(mapped, 150);
}

TEST(XTestInput, WithoutADisplayItSaysSoOnceAndDoesNothing) {
  test::RecordedMessages messages;
  XTestInput input(messages, ":4999");
  EXPECT_FALSE(input.available());
  input.KeyDown(0x0D);
  input.KeyUp(0x0D);
  input.MoveTo(10, 10);
  input.LeftButtonDown();
  input.LeftButtonUp();
  input.Flush();
  EXPECT_FALSE(input.available());
  EXPECT_FALSE(FireCaptureEvent(Settings{}, input));
  const auto texts = messages.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("cannot be synthesized"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find(":4999"), std::string::npos) << texts[0];
}

// `settings` with the event `key_code` and `modifiers`.
Settings KeySettings(std::string key_code, std::string modifiers, Settings settings = {}) {
  settings[SettingSlot::KeyCode] = Cp932Text(std::move(key_code));
  settings[SettingSlot::Modifiers] = Cp932Text(std::move(modifiers));
  return settings;
}

// Writes a velmarin.ini into `dir` whose event is `key_code` with `modifiers`.
void WriteEventSettings(const std::filesystem::path& dir, const std::string& key_code,
                        const std::string& modifiers) {
  std::string error;
  const auto program_dir = MakeProgramDir(dir, &error);
  ASSERT_TRUE(program_dir) << error;
  const Settings settings = KeySettings(key_code, modifiers, DefaultSettings(program_dir->cp932));
  OwnMessage save_error;
  ASSERT_TRUE(SaveSettings(*program_dir, settings, &save_error)) << save_error.english;
}

TEST(FireEventCommand, WithoutADisplayFailsWithAMessage) {
  if (test::ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  test::TempDir dir;
  WriteEventSettings(dir.path(), "0D", "000");
  const test::ProgramResult result =
      test::RunProgram({"--dir", dir.path().string(), "--fire-event"}, {"DISPLAY"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("cannot be synthesized"), std::string::npos) << result.err;
}

// One Xvfb for all end-to-end tests; each test maps its own recording window on it.
TEST(XTestInput, LostDisplayStopsTheInputWithOneMessageAndTheProcessGoesOn) {
  const auto binary = test::XvfbServer::FindBinary();
  if (!binary) GTEST_SKIP() << "Xvfb is not installed";
  test::TempDir dir;
  test::XvfbServer server(*binary, dir / "xvfb.log");
  ASSERT_FALSE(server.display_name().empty()) << server.error();
  test::RecordedMessages messages;
  XTestInput input(messages, server.display_name());
  Settings settings = KeySettings("0D", "000");
  ASSERT_TRUE(FireCaptureEvent(settings, input));

  server.Kill();
  // The first stroke after the loss meets it; Xlib would end the process here by default.
  FireCaptureEvent(settings, input);
  EXPECT_FALSE(FireCaptureEvent(settings, input));
  EXPECT_FALSE(input.available());
  const auto texts = messages.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("connection to the X display was lost"), std::string::npos) << texts[0];
}

class XvfbInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const auto binary = test::XvfbServer::FindBinary();
    if (!binary) return;
    log_dir_ = std::make_unique<test::TempDir>();
    server_ = std::make_unique<test::XvfbServer>(*binary, *log_dir_ / "xvfb.log");
  }
  static void TearDownTestSuite() {
    server_.reset();
    log_dir_.reset();
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(display().empty()) << server_->error();
    recorder_ = std::make_unique<test::XEventRecorder>(display(), kWindowX, kWindowY, 400, 300);
    ASSERT_TRUE(recorder_->error().empty()) << recorder_->error();
    input_ = std::make_unique<XTestInput>(messages_, display());
  }

  // Expects the presses of `keysyms` in order from events[first], then their releases in the
  // reverse order.
  void ExpectStroke(const std::vector<RecordedXEvent>& events, std::size_t first,
                    const std::vector<std::uint32_t>& keysyms) {
    const std::size_t last = first + 2 * keysyms.size() - 1;
    ASSERT_LT(last, events.size());
    for (std::size_t i = 0; i < keysyms.size(); ++i) {
      const unsigned keycode = recorder_->KeycodeOf(keysyms[i]);
      EXPECT_EQ(events[first + i].kind, Kind::kKeyPress) << first + i;
      EXPECT_EQ(events[first + i].detail, keycode) << first + i;
      EXPECT_EQ(events[last - i].kind, Kind::kKeyRelease) << last - i;
      EXPECT_EQ(events[last - i].detail, keycode) << last - i;
    }
  }

  static const std::string& display() { return server_->display_name(); }

  static constexpr int kWindowX = 100;
  static constexpr int kWindowY = 100;
  static inline std::unique_ptr<test::TempDir> log_dir_;
  static inline std::unique_ptr<test::XvfbServer> server_;
  std::unique_ptr<test::XEventRecorder> recorder_;
  test::RecordedMessages messages_;
  std::unique_ptr<XTestInput> input_;
};

TEST_F(XvfbInput, KeyStrokeWithModifiersReachesTheFocusedWindow) {
  ASSERT_TRUE(input_->available());
  ASSERT_TRUE(FireCaptureEvent(KeySettings("41", "101"), *input_));

  const auto events = recorder_->WaitForEvents(6, kPatience);
  ASSERT_EQ(events.size(), 6u);
  ASSERT_NE(recorder_->KeycodeOf(XK_a), 0u);
  ExpectStroke(events, 0, {XK_Control_L, XK_Shift_L, XK_a});
  for (int i : {2, 3}) {
    EXPECT_EQ(events[i].state & (test::kControlMask | test::kShiftMask | test::kAltMask),
              test::kControlMask | test::kShiftMask)
        << i;
  }
  EXPECT_EQ(events[0].state & (test::kControlMask | test::kShiftMask), 0u);
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(XvfbInput, ClickLandsAtTheConfiguredPositionAndThePointerStays) {
  Settings settings;
  settings[SettingSlot::MouseX] = Cp932Text("250");
  settings[SettingSlot::MouseY] = Cp932Text("180");
  ASSERT_TRUE(FireCaptureEvent(settings, *input_));

  const auto events = recorder_->WaitForEvents(2, kPatience);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, Kind::kButtonPress);
  EXPECT_EQ(events[1].kind, Kind::kButtonRelease);
  for (const RecordedXEvent& event : events) {
    EXPECT_EQ(event.detail, 1u);
    EXPECT_EQ(event.root_x, 250);
    EXPECT_EQ(event.root_y, 180);
  }
  EXPECT_EQ(recorder_->PointerPosition(), std::make_pair(250, 180));
}

TEST_F(XvfbInput, FarOffPositionsStopAtTheScreenEdge) {
  // 65636 would wrap to 100 in the request's 16-bit field.
  input_->MoveTo(65636, 50);
  input_->Flush();
  EXPECT_EQ(recorder_->PointerPosition(), std::make_pair(1023, 50));
  input_->MoveTo(-70000, 99999);
  input_->Flush();
  EXPECT_EQ(recorder_->PointerPosition(), std::make_pair(0, 767));
}

TEST_F(XvfbInput, KeyWithoutAnXKeyIsSkippedAndReportedOnce) {
  EXPECT_FALSE(FireCaptureEvent(KeySettings("DF", "000"), *input_));
  EXPECT_FALSE(FireCaptureEvent(KeySettings("DF", "000"), *input_));
  ASSERT_TRUE(FireCaptureEvent(KeySettings("0D", "000"), *input_));

  // Nothing arrived for the skipped key: the first events are those of the next stroke.
  const auto events = recorder_->WaitForEvents(2, kPatience);
  ASSERT_EQ(events.size(), 2u);
  ExpectStroke(events, 0, {XK_Return});
  const auto texts = messages_.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("0xDF"), std::string::npos) << texts[0];
}

TEST_F(XvfbInput, FireEventCommandSucceedsOnlyWhenTheKeyWasSent) {
  if (test::ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  test::TempDir dir;
  const auto fire = [&](const std::string& key_code, const std::string& modifiers) {
    WriteEventSettings(dir.path(), key_code, modifiers);
    return test::RunProgram({"--dir", dir.path().string(), "--fire-event"},
                            {"DISPLAY=" + display()});
  };
  // No key of the display's keyboard gives 0xFF: nothing reaches the desktop.
  const test::ProgramResult unsent = fire("FF", "000");
  EXPECT_EQ(unsent.exit_code, 1);
  EXPECT_NE(unsent.err.find("0xFF"), std::string::npos) << unsent.err;

  const test::ProgramResult sent = fire("0D", "100");
  ASSERT_EQ(sent.exit_code, 0) << sent.err;
  const auto events = recorder_->WaitForEvents(4, kPatience);
  ASSERT_EQ(events.size(), 4u);
  ExpectStroke(events, 0, {XK_Control_L, XK_Return});
  EXPECT_EQ(events[1].state & (test::kControlMask | test::kShiftMask | test::kAltMask),
            test::kControlMask);
}

}  // namespace
}  // namespace velmarin
