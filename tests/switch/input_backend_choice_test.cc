#include "switch/input_backend_choice.h"

#include <gtest/gtest.h>

#include "support/recorded_messages.h"
#include "support/recording_input.h"

namespace velmarin {
namespace {

TEST(InputBackendChoiceTest, TheSessionDecidesUnderAuto) {
  const auto x11 = ChooseInputBackend(InputBackendSetting::kAuto, false, true, "");
  EXPECT_EQ(x11.kind, InputBackendKind::kXTest);
  EXPECT_TRUE(x11.warning.empty());

  const auto wayland = ChooseInputBackend(InputBackendSetting::kAuto, true, true, "");
  EXPECT_EQ(wayland.kind, InputBackendKind::kUinput);
  EXPECT_TRUE(wayland.warning.empty());

  const auto closed = ChooseInputBackend(InputBackendSetting::kAuto, true, false,
                                         "/dev/uinput cannot be opened: Permission denied");
  EXPECT_EQ(closed.kind, InputBackendKind::kXTest);
  EXPECT_NE(closed.reason.find("Permission denied"), std::string::npos);
  EXPECT_NE(closed.warning.english.find("reach only X11 programs"), std::string::npos);
  EXPECT_NE(closed.warning.japanese.find("sudo modprobe uinput"), std::string::npos);
}

TEST(InputBackendChoiceTest, AnExplicitSettingIsTakenWhateverTheSession) {
  EXPECT_EQ(ChooseInputBackend(InputBackendSetting::kXTest, true, true, "").kind,
            InputBackendKind::kXTest);
  const auto uinput = ChooseInputBackend(InputBackendSetting::kUinput, false, false, "closed");
  EXPECT_EQ(uinput.kind, InputBackendKind::kUinput);
  EXPECT_TRUE(uinput.warning.empty());
}

class FixedScreenLock final : public ScreenLock {
 public:
  bool Locked() override { return locked; }
  bool locked = false;
};

TEST(LockedScreenGuardTest, NothingIsSentWhileTheScreenIsLocked) {
  test::RecordingInput backend;
  FixedScreenLock lock;
  test::RecordedMessages messages;
  LockedScreenGuard guard(backend, lock, messages);

  lock.locked = true;
  EXPECT_FALSE(guard.available());
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"A capture was skipped because the screen is locked."});

  lock.locked = false;
  EXPECT_TRUE(guard.available());
  guard.KeyDown(0x0D);
  EXPECT_EQ(backend.events(), std::vector<std::string>{"down 13"});
  EXPECT_EQ(messages.texts().size(), 1u);
}

}  // namespace
}  // namespace velmarin
