#include "switch/capture_event.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/recorded_messages.h"
#include "support/recording_input.h"

namespace velmarin {
namespace {

using Events = std::vector<std::string>;
using test::RecordingInput;

Settings EventSettings(std::string key_code, std::string modifiers = "000",
                       std::string mouse_x = "300", std::string mouse_y = "200") {
  Settings settings;
  settings[SettingSlot::KeyCode] = Cp932Text(std::move(key_code));
  settings[SettingSlot::Modifiers] = Cp932Text(std::move(modifiers));
  settings[SettingSlot::MouseX] = Cp932Text(std::move(mouse_x));
  settings[SettingSlot::MouseY] = Cp932Text(std::move(mouse_y));
  return settings;
}

Events Fire(const Settings& settings) {
  RecordingInput input;
  EXPECT_TRUE(FireCaptureEvent(settings, input));
  EXPECT_EQ(input.flushes(), 1);
  return input.events();
}

const Events kClickAt300x200 = {"move 300,200", "left down", "left up"};

TEST(CaptureKeyCode, OneByteIsItsByteValue) {
  EXPECT_EQ(CaptureKeyCode("A"), 0x41);
  EXPECT_EQ(CaptureKeyCode("a"), 0x61);
  EXPECT_EQ(CaptureKeyCode("5"), 0x35);
  EXPECT_EQ(CaptureKeyCode("\xB1"), 0xB1);  // a half-width katakana byte stays unsigned
}

TEST(CaptureKeyCode, TwoBytesAreLeadingHexDigits) {
  EXPECT_EQ(CaptureKeyCode("0D"), 0x0D);
  EXPECT_EQ(CaptureKeyCode("7b"), 0x7B);
  EXPECT_EQ(CaptureKeyCode("FF"), 0xFF);
  EXPECT_EQ(CaptureKeyCode("5z"), 0x05);
  EXPECT_EQ(CaptureKeyCode("0x"), 0);
  EXPECT_EQ(CaptureKeyCode("zz"), 0);
  EXPECT_EQ(CaptureKeyCode(" 5"), 0);
  EXPECT_EQ(CaptureKeyCode("-5"), 0);
}

TEST(CaptureKeyCode, OtherLengthsSelectTheClick) {
  EXPECT_EQ(CaptureKeyCode(""), 0);
  EXPECT_EQ(CaptureKeyCode("0D0"), 0);
  EXPECT_EQ(CaptureKeyCode("0x0D"), 0);
}

TEST(FireCaptureEvent, KeyCodesGiveTheirKeys) {
  EXPECT_EQ(Fire(EventSettings("0D")), (Events{"down 13", "up 13"}));
  EXPECT_EQ(Fire(EventSettings("7b")), (Events{"down 123", "up 123"}));
  EXPECT_EQ(Fire(EventSettings("A")), (Events{"down 65", "up 65"}));
  EXPECT_EQ(Fire(EventSettings("a")), (Events{"down 97", "up 97"}));
}

TEST(FireCaptureEvent, NoKeyClicksAtTheMousePosition) {
  for (const char* key_code : {"00", "zz", "", "0D0", "abcdef"}) {
    SCOPED_TRACE(key_code);
    EXPECT_EQ(Fire(EventSettings(key_code, "111")), kClickAt300x200);
  }
  EXPECT_EQ(Fire(EventSettings("", "000", " -4", "12abc")),
            (Events{"move -4,12", "left down", "left up"}));
}

TEST(FireCaptureEvent, ModifiersWrapTheKeyInOrder) {
  EXPECT_EQ(Fire(EventSettings("0D", "101")),
            (Events{"down 17", "down 16", "down 13", "up 13", "up 16", "up 17"}));
  EXPECT_EQ(Fire(EventSettings("0D", "111")), (Events{"down 17", "down 18", "down 16", "down 13",
                                                      "up 13", "up 16", "up 18", "up 17"}));
  EXPECT_EQ(Fire(EventSettings("0D", "010")), (Events{"down 18", "down 13", "up 13", "up 18"}));
}

TEST(FireCaptureEvent, ShortOrOddModifiersHoldOnlyTheOnesGiven) {
  EXPECT_EQ(Fire(EventSettings("0D", "1")), (Events{"down 17", "down 13", "up 13", "up 17"}));
  EXPECT_EQ(Fire(EventSettings("0D", "")), (Events{"down 13", "up 13"}));
  EXPECT_EQ(Fire(EventSettings("0D", "x2 1")), (Events{"down 13", "up 13"}));
}

TEST(FireCaptureEvent, UnusableClickPositionSendsNothingAndSaysSo) {
  for (const auto& [x, y] :
       std::vector<std::pair<std::string, std::string>>{{"", "200"}, {"300", "abc"}, {"x", "y"}}) {
    SCOPED_TRACE(x + "," + y);
    RecordingInput input;
    test::RecordedMessages messages;
    EXPECT_FALSE(FireCaptureEvent(EventSettings("", "000", x, y), input, &messages));
    EXPECT_TRUE(input.events().empty());
    EXPECT_EQ(input.flushes(), 0);
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_NE(messages.texts()[0].find("no click was sent"), std::string::npos);
  }
}

TEST(FireCaptureEvent, KeyStrokeIgnoresTheClickPosition) {
  RecordingInput input;
  test::RecordedMessages messages;
  EXPECT_TRUE(FireCaptureEvent(EventSettings("0D", "000", "x", "y"), input, &messages));
  EXPECT_EQ(input.events(), (Events{"down 13", "up 13"}));
  EXPECT_TRUE(messages.texts().empty());
}

TEST(FireCaptureEvent, UnavailableInputSendsNothing) {
  RecordingInput input(/*available=*/false);
  EXPECT_FALSE(FireCaptureEvent(EventSettings("0D", "111"), input));
  EXPECT_FALSE(FireCaptureEvent(EventSettings(""), input));
  EXPECT_TRUE(input.events().empty());
}

TEST(FireCaptureEvent, AKeyThatIsNotSentFailsButItsModifiersAreReleased) {
  RecordingInput input(/*available=*/true, /*refused_keys=*/{0xFF});
  EXPECT_FALSE(FireCaptureEvent(EventSettings("FF", "100"), input));
  EXPECT_EQ(input.events(), (Events{"down 17", "up 17"}));
  EXPECT_EQ(input.flushes(), 1);
}

// Splits `events` into whole sequences, each one of `known`; false when something is left over
// or a sequence is cut into by another.
bool ConsistsOfWholeSequences(const Events& events, const std::vector<Events>& known,
                              std::vector<int>* counts) {
  std::size_t pos = 0;
  while (pos < events.size()) {
    bool matched = false;
    for (std::size_t k = 0; k < known.size() && !matched; ++k) {
      const Events& sequence = known[k];
      if (events.size() - pos < sequence.size()) continue;
      if (std::equal(sequence.begin(), sequence.end(), events.begin() + pos)) {
        pos += sequence.size();
        ++(*counts)[k];
        matched = true;
      }
    }
    if (!matched) return false;
  }
  return true;
}

TEST(FireCaptureEvent, SequencesFromTwoThreadsNeverInterleave) {
  constexpr int kRounds = 300;
  RecordingInput input;
  const Settings stroke = EventSettings("41", "111");
  const Settings click = EventSettings("", "000", "300", "200");
  std::thread stroke_thread([&] {
    for (int i = 0; i < kRounds; ++i) FireCaptureEvent(stroke, input);
  });
  std::thread click_thread([&] {
    for (int i = 0; i < kRounds; ++i) FireCaptureEvent(click, input);
  });
  stroke_thread.join();
  click_thread.join();

  const std::vector<Events> known = {
      {"down 17", "down 18", "down 16", "down 65", "up 65", "up 16", "up 18", "up 17"},
      kClickAt300x200};
  std::vector<int> counts(known.size(), 0);
  EXPECT_TRUE(ConsistsOfWholeSequences(input.events(), known, &counts));
  EXPECT_EQ(counts, (std::vector<int>{kRounds, kRounds}));
  EXPECT_EQ(input.flushes(), 2 * kRounds);
}

TEST(MovePointerTo, MovesWithoutClickingOrNothingWithoutInput) {
  RecordingInput input;
  EXPECT_TRUE(MovePointerTo(input, 12, -3));
  EXPECT_EQ(input.events(), Events{"move 12,-3"});
  EXPECT_EQ(input.flushes(), 1);
  RecordingInput none(/*available=*/false);
  EXPECT_FALSE(MovePointerTo(none, 12, -3));
  EXPECT_TRUE(none.events().empty());
}

}  // namespace
}  // namespace velmarin
