#include "platform/uinput_input.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cmath>
#include <sstream>

#include "support/fixed_screen_layout.h"
#include "support/recorded_messages.h"

namespace velmarin {
namespace {

using Clock = UinputInput::Clock;
using test::RecordedMessages;

// Writes "k" or "p" (the device), then type, code and value: "k 1 30 1" is KEY_A pressed.
class RecordingEventWriter final : public InputEventWriter {
 public:
  explicit RecordingEventWriter(std::vector<std::string>* events) : events_(events) {}
  bool Write(UinputDevice device, unsigned type, unsigned code, int value) override {
    std::ostringstream event;
    event << (device == UinputDevice::kKeyboard ? "k " : "p ") << type << ' ' << code << ' '
          << value;
    events_->push_back(event.str());
    return true;
  }

 private:
  std::vector<std::string>* events_;
};

std::string Key(unsigned code, int value) {
  return "k " + std::to_string(EV_KEY) + ' ' + std::to_string(code) + ' ' + std::to_string(value);
}
std::string Button(unsigned code, int value) {
  return "p " + std::to_string(EV_KEY) + ' ' + std::to_string(code) + ' ' + std::to_string(value);
}
std::string Abs(unsigned axis, int value) {
  return "p " + std::to_string(EV_ABS) + ' ' + std::to_string(axis) + ' ' + std::to_string(value);
}
const std::string kKeyboardSyn = "k 0 0 0";
const std::string kPointerSyn = "p 0 0 0";

class UinputInputTest : public ::testing::Test {
 protected:
  // The backend on recording devices, a clock that moves only when the backend sleeps, and
  // the screens of `screens_`, which `layout_` changes later.
  UinputInput& Input(const std::string& layout = "us") {
    KeyboardLayoutNames names;
    names.layout = layout;
    auto screens = std::make_unique<test::FixedScreenLayout>(screens_);
    layout_ = screens.get();
    UinputInput::Parts parts{
        [this](std::string* error) -> std::unique_ptr<InputEventWriter> {
          ++creations_;
          if (!creation_error_.empty()) {
            *error = creation_error_;
            return nullptr;
          }
          return std::make_unique<RecordingEventWriter>(&events_);
        },
        std::move(screens),
        [this] { return now_; },
        [this](Clock::time_point when) {
          sleeps_.push_back(when - start_);
          now_ = std::max(now_, when);
        },
    };
    input_ = std::make_unique<UinputInput>(messages_, KeyboardLayoutKeys(names), std::move(parts));
    return *input_;
  }

  const Clock::time_point start_ = Clock::time_point{} + std::chrono::hours(1);
  Clock::time_point now_ = start_;
  std::vector<Clock::duration> sleeps_;
  std::vector<std::string> events_;
  std::vector<ScreenRect> screens_{{0, 0, 1920, 1080}};
  test::FixedScreenLayout* layout_ = nullptr;
  std::string creation_error_;
  int creations_ = 0;
  RecordedMessages messages_;
  std::unique_ptr<UinputInput> input_;
};

TEST_F(UinputInputTest, KeyStrokeWaitsForTheDevicesThenSendsEachKeyWithItsReport) {
  UinputInput& input = Input();
  ASSERT_TRUE(input.available());
  input.KeyDown(0x11);  // Ctrl
  input.KeyDown(0x10);  // Shift
  input.KeyDown(0x0D);  // Enter
  input.KeyUp(0x0D);
  input.KeyUp(0x10);
  input.KeyUp(0x11);

  EXPECT_EQ(events_, (std::vector<std::string>{
                         Key(KEY_LEFTCTRL, 1), kKeyboardSyn, Key(KEY_LEFTSHIFT, 1), kKeyboardSyn,
                         Key(KEY_ENTER, 1), kKeyboardSyn, Key(KEY_ENTER, 0), kKeyboardSyn,
                         Key(KEY_LEFTSHIFT, 0), kKeyboardSyn, Key(KEY_LEFTCTRL, 0), kKeyboardSyn}));
  // The first event waits for the compositor to take the devices; the releases follow the
  // last press after the gap. The devices are made once.
  EXPECT_EQ(sleeps_,
            (std::vector<Clock::duration>{UinputInput::kSettleTime,
                                          UinputInput::kSettleTime + UinputInput::kPressGap}));
  EXPECT_EQ(creations_, 1);
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(UinputInputTest, LettersAndDigitsFollowTheLayoutWithShiftHeldOnce) {
  UinputInput& input = Input("fr");
  input.KeyDown(0x41);  // "a" lies on the Q key of a French keyboard
  input.KeyUp(0x41);
  input.KeyDown(0x10);  // the user's own Shift, then "1", which needs Shift there
  input.KeyDown(0x31);
  input.KeyUp(0x31);
  input.KeyUp(0x10);

  EXPECT_EQ(events_, (std::vector<std::string>{Key(KEY_Q, 1), kKeyboardSyn, Key(KEY_Q, 0),
                                               kKeyboardSyn, Key(KEY_LEFTSHIFT, 1), kKeyboardSyn,
                                               Key(KEY_1, 1), kKeyboardSyn, Key(KEY_1, 0),
                                               kKeyboardSyn, Key(KEY_LEFTSHIFT, 0), kKeyboardSyn}));
}

TEST_F(UinputInputTest, KeyWithoutAKeyIsReportedOnceAndNotSent) {
  UinputInput& input = Input();
  input.KeyDown(0x07);
  input.KeyUp(0x07);
  input.KeyDown(0x07);

  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(messages_.texts(),
            std::vector<std::string>{"The key code 0x07 stands for no key of a keyboard; that key "
                                     "is not sent."});
  EXPECT_EQ(messages_.japanese_texts(),
            std::vector<std::string>{
                "キーコード 0x07 はキーボードのどのキーにも当たらないため、送りません。"});
}

TEST_F(UinputInputTest, ClickIsScaledOverAllScreensAndARepeatedPlaceStepsAsideFirst) {
  screens_ = {{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};  // box 3200 x 1280 from y -200
  UinputInput& input = Input();
  input.MoveTo(3199, 1079);
  input.LeftButtonDown();
  input.LeftButtonUp();
  input.MoveTo(3199, 1079);
  input.MoveTo(1600, -200);

  const int y = static_cast<int>(std::lround(1279.0 * 32767 / 1279));
  EXPECT_EQ(events_,
            (std::vector<std::string>{
                Abs(ABS_X, 32767), Abs(ABS_Y, y), kPointerSyn, Button(BTN_LEFT, 1), kPointerSyn,
                Button(BTN_LEFT, 0), kPointerSyn,
                // the same place again: one unit aside (inwards at the edge), then back
                Abs(ABS_X, 32766), kPointerSyn, Abs(ABS_X, 32767), Abs(ABS_Y, y), kPointerSyn,
                Abs(ABS_X, static_cast<int>(std::lround(1600.0 * 32767 / 3199))), Abs(ABS_Y, 0),
                kPointerSyn}));
}

TEST_F(UinputInputTest, TheScreensAreReadAgainAtEveryMove) {
  UinputInput& input = Input();
  input.MoveTo(1919, 1079);
  layout_->Set({{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}});  // a second screen comes
  input.MoveTo(1919, 1079);
  layout_->Set({});  // the session's display is gone
  input.MoveTo(1919, 1079);
  input.LeftButtonDown();
  input.LeftButtonUp();

  EXPECT_EQ(events_, (std::vector<std::string>{
                         Abs(ABS_X, 32767), Abs(ABS_Y, 32767), kPointerSyn,
                         Abs(ABS_X, static_cast<int>(std::lround(1919.0 * 32767 / 3839))),
                         Abs(ABS_Y, 32767), kPointerSyn}));
  EXPECT_EQ(messages_.texts().size(), 1u);
}

TEST_F(UinputInputTest, WithoutKnownScreensNoPointerEventAndNoBlindClick) {
  screens_.clear();
  UinputInput& input = Input();
  input.MoveTo(10, 10);
  input.LeftButtonDown();
  input.LeftButtonUp();
  input.MoveTo(20, 20);

  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(messages_.texts().size(), 1u);
}

TEST_F(UinputInputTest, DevicesThatCannotBeMadeAreReportedOnceAndTriedAgain) {
  creation_error_ = "/dev/uinput cannot be used: Permission denied";
  UinputInput& input = Input();

  EXPECT_FALSE(input.available());
  input.KeyDown(0x0D);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(creations_, 2);
  EXPECT_EQ(messages_.texts(),
            std::vector<std::string>{
                "Key strokes and clicks cannot be synthesized: /dev/uinput cannot be used: "
                "Permission denied. The foot switch and the event test send nothing."});
  EXPECT_EQ(messages_.japanese_texts(),
            std::vector<std::string>{"キーストロークとクリックを送れません（/dev/uinput cannot be "
                                     "used: Permission denied）。フットスイッチとイベント確認は何も"
                                     "送りません。"});
}

}  // namespace
}  // namespace velmarin
