#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"
#include "settings/settings_file.h"
#include "support/cp932_text_testing.h"

namespace velmarin {
namespace {

constexpr std::string_view kDir = "/srv/capture";

std::string Label(SettingSlot slot) { return std::string(SettingLabel(slot)); }

Settings Parse(std::string_view bytes) { return ParseSettingsFile(bytes, Cp932Text(kDir)); }

// Expected: the defaults with the given slots replaced.
Settings DefaultsWith(std::initializer_list<std::pair<SettingSlot, std::string>> changes) {
  Settings settings = DefaultSettings(Cp932Text(kDir));
  for (const auto& [slot, value] : changes) settings[slot] = Cp932Text(value);
  return settings;
}

TEST(ParseSettingsFileTest, EmptyFileGivesDefaults) {
  EXPECT_EQ(Parse(""), DefaultSettings(Cp932Text(kDir)));
}

TEST(ParseSettingsFileTest, ReadsWhatFormatWrites) {
  Settings settings = DefaultSettings(Cp932Text(kDir));
  settings[SettingSlot::SwitchDevice] = Cp932Text("COM3");
  settings[SettingSlot::KeyCode] = Cp932Text("7B");
  settings[SettingSlot::TextFont] = *Utf8ToCp932("ＭＳ ゴシック");
  EXPECT_EQ(Parse(FormatSettingsFile(settings)), settings);
  EXPECT_EQ(Parse(FormatSettingsFile(DefaultSettings(Cp932Text(kDir)))),
            DefaultSettings(Cp932Text(kDir)));
}

TEST(ParseSettingsFileTest, MissingLinesTakeDefaults) {
  const std::string file =
      Label(SettingSlot::PollIntervalMs) + "20\r\n" + Label(SettingSlot::JpegQuality) + "80\r\n";
  EXPECT_EQ(Parse(file),
            DefaultsWith({{SettingSlot::PollIntervalMs, "20"}, {SettingSlot::JpegQuality, "80"}}));
}

TEST(ParseSettingsFileTest, LabelOnlyLineGivesEmptyValue) {
  // CR LF, LF, or no line end at all (then there is nothing to drop): the value is empty.
  for (const char* line_end : {"\r\n", "\n", ""}) {
    EXPECT_EQ(Parse(Label(SettingSlot::SwitchDevice) + line_end),
              DefaultsWith({{SettingSlot::SwitchDevice, ""}}));
  }
}

TEST(ParseSettingsFileTest, LastLineWithoutLineEndLosesItsLastByte) {
  const std::string file =
      Label(SettingSlot::MouseX) + "640\r\n" + Label(SettingSlot::MouseY) + "480";
  EXPECT_EQ(Parse(file), DefaultsWith({{SettingSlot::MouseX, "640"}, {SettingSlot::MouseY, "48"}}));
}

TEST(ParseSettingsFileTest, LeadingTextShiftsTheValue) {
  // The value starts 10 bytes (the label's length) from the start of the line.
  EXPECT_EQ(Parse("xxKey Event:ABC\r\n"), DefaultsWith({{SettingSlot::KeyCode, "t:ABC"}}));
  // Leading text longer than the value leaves only what lies behind the label's length.
  const std::string shifted = "12345" + Label(SettingSlot::SwitchDevice) + "USB-IO\r\n";
  EXPECT_EQ(Parse(shifted)[SettingSlot::SwitchDevice], shifted.substr(17, shifted.size() - 19));
}

TEST(ParseSettingsFileTest, LaterLineWins) {
  const std::string file =
      Label(SettingSlot::TriggerEdge) + "OFF\r\n" + Label(SettingSlot::TriggerEdge) + "ON\r\n";
  EXPECT_EQ(Parse(file), DefaultsWith({{SettingSlot::TriggerEdge, "ON"}}));
}

TEST(ParseSettingsFileTest, TwoLabelsInOneLineSetBothSlots) {
  EXPECT_EQ(Parse("Key Event:Ctrl/Alt/Shift:101\r\n"),
            DefaultsWith({{SettingSlot::KeyCode, "Ctrl/Alt/Shift:101"},
                          {SettingSlot::Modifiers, "Alt/Shift:101"}}));
}

std::string Utf8Label(SettingSlot slot) {
  return Cp932ToUtf8(Cp932Text(SettingLabel(slot))).value();
}

// A file an editor re-saved in UTF-8 reads as its Shift-JIS original did, every value
// converted, the two ASCII labels' values included.
TEST(ParseSettingsFileTest, Utf8FileIsReadWhole) {
  Settings written = DefaultSettings(Cp932Text(kDir));
  written[SettingSlot::JpegQuality] = Cp932Text("80");
  written[SettingSlot::KeyCode] = Utf8ToCp932("ａ").value();
  written[SettingSlot::WatchFolder] = Utf8ToCp932("/検査/静止画").value();
  const std::string utf8_file = Cp932ToUtf8(Cp932Text(FormatSettingsFile(written))).value();
  SettingsFileReading reading;
  EXPECT_EQ(ParseSettingsFile(utf8_file, Cp932Text(kDir), &reading), written);
  EXPECT_EQ(reading.encoding, SettingsEncoding::kUtf8);
  EXPECT_TRUE(DescribeReadingProblem("/srv/velmarin.ini", utf8_file, reading).empty());
  // With the byte-order mark some editors write, the first line's value is not shifted.
  EXPECT_EQ(Parse("\xEF\xBB\xBF" + utf8_file), written);
  // The last line of a UTF-8 file without a line end keeps its last character whole.
  EXPECT_EQ(Parse(Utf8Label(SettingSlot::TextFont) + "IPA明朝"),
            DefaultsWith({{SettingSlot::TextFont, Utf8ToCp932("IPA明朝").value().bytes()}}));
}

// A Shift-JIS file with a line added from a UTF-8 terminal: each line in its own encoding,
// the later one winning.
TEST(ParseSettingsFileTest, EachLineIsReadInItsOwnEncoding) {
  const std::string file = Label(SettingSlot::JpegQuality) + "95\r\n" +
                           Label(SettingSlot::TextFont) + "\x82l\x82r \x96\xBE\x92\xA9\r\n" +
                           Utf8Label(SettingSlot::JpegQuality) + "80\n";
  SettingsFileReading reading;
  EXPECT_EQ(ParseSettingsFile(file, Cp932Text(kDir), &reading),
            DefaultsWith({{SettingSlot::JpegQuality, "80"}}));
  EXPECT_EQ(reading.encoding, SettingsEncoding::kUtf8);
}

// A UTF-8 value code page 932 cannot write is never stored mangled: the line is not taken,
// and the user is told which setting kept its default, in either language.
TEST(ParseSettingsFileTest, Utf8ValueShiftJisCannotWriteIsNotTaken) {
  const std::string file = Utf8Label(SettingSlot::TextLines) + "150,5,3,😀\r\n" +
                           Utf8Label(SettingSlot::JpegQuality) + "80\r\n";
  SettingsFileReading reading;
  EXPECT_EQ(ParseSettingsFile(file, Cp932Text(kDir), &reading),
            DefaultsWith({{SettingSlot::JpegQuality, "80"}}));
  EXPECT_TRUE(reading.not_shift_jis[static_cast<int>(SettingSlot::TextLines)]);
  const OwnMessage problem = DescribeReadingProblem("/srv/velmarin.ini", file, reading);
  EXPECT_NE(problem.english.find("/srv/velmarin.ini: the UTF-8 lines of TextLines hold"),
            std::string::npos)
      << problem.english;
  EXPECT_NE(problem.japanese.find("TextLines の行に、シフトJIS"), std::string::npos)
      << problem.japanese;
}

TEST(DescribeReadingProblemTest, FileInNeitherEncodingNamesTheSettingsLeftAtTheirDefaults) {
  const std::string file = Label(SettingSlot::WatchFolder) + "\x8A\xC4\r\nKey Event:q\r\n";
  SettingsFileReading reading;
  ParseSettingsFile(file, Cp932Text(kDir), &reading);
  EXPECT_TRUE(reading.found[static_cast<int>(SettingSlot::WatchFolder)]);
  EXPECT_FALSE(reading.found[static_cast<int>(SettingSlot::SwitchDevice)]);
  // A Shift-JIS file with lines missing is fine.
  EXPECT_TRUE(DescribeReadingProblem("/srv/velmarin.ini", file, reading).empty());
  // Not code page 932 at all (a lone lead byte at the end), with slots missing.
  const OwnMessage problem = DescribeReadingProblem("/srv/velmarin.ini", file + "\x81", reading);
  EXPECT_NE(problem.english.find("neither Shift-JIS (code page 932) nor UTF-8"), std::string::npos)
      << problem.english;
  EXPECT_NE(problem.english.find("SwitchDevice, TriggerEdge"), std::string::npos)
      << problem.english;
  EXPECT_EQ(problem.english.find("WatchFolder"), std::string::npos) << problem.english;
  EXPECT_NE(problem.japanese.find("シフトJISでもUTF-8でもない"), std::string::npos)
      << problem.japanese;
}

TEST(ParseSettingsFileTest, BlanksAndLoneCarriageReturnsAreKept) {
  EXPECT_EQ(Parse("Ctrl/Alt/Shift: 010  \r\n"), DefaultsWith({{SettingSlot::Modifiers, " 010  "}}));
  EXPECT_EQ(Parse("Key Event:a\rb\r\n"), DefaultsWith({{SettingSlot::KeyCode, "a\rb"}}));
  // CR CR LF: only the pair is a line end.
  EXPECT_EQ(Parse("Key Event:a\r\r\n"), DefaultsWith({{SettingSlot::KeyCode, "a\r"}}));
}

TEST(ParseSettingsFileTest, LongLinesComeInPiecesOf999Bytes) {
  // The first piece holds the label and 989 value bytes, of which the last is dropped; the
  // rest of the line is a piece without a label.
  EXPECT_EQ(Parse("Key Event:" + std::string(1200, 'a') + "\r\n")[SettingSlot::KeyCode],
            std::string(kSlotMaxBytes, 'a'));
  // A label at the start of the second piece is a line of its own.
  EXPECT_EQ(Parse(std::string(999, 'x') + "Ctrl/Alt/Shift:110\r\n"),
            DefaultsWith({{SettingSlot::Modifiers, "110"}}));
  // Every piece of a line far longer than one piece is looked at.
  EXPECT_EQ(Parse(std::string(999 * 40, 'x') + "Key Event:R\r\n"),
            DefaultsWith({{SettingSlot::KeyCode, "R"}}));
  // A label cut by the piece boundary is not found.
  EXPECT_EQ(Parse(std::string(995, 'x') + "Key Event:Z\r\n"), DefaultSettings(Cp932Text(kDir)));
  // CR LF counts as one byte: 998 bytes and the line end fill one piece exactly.
  EXPECT_EQ(Parse(std::string(998, 'x') + "\r\nKey Event:Q\r\n"),
            DefaultsWith({{SettingSlot::KeyCode, "Q"}}));
}

TEST(ParseSettingsFileTest, ValuesNeverExceedTheSlot) {
  const std::string value = std::string(498, 'a') + "\x95\x5C" + "tail";
  EXPECT_EQ(Parse("Key Event:" + value + "\r\n")[SettingSlot::KeyCode], std::string(498, 'a'));
  EXPECT_EQ(Parse("Key Event:" + std::string(kSlotMaxBytes, 'b') + "\r\n")[SettingSlot::KeyCode],
            std::string(kSlotMaxBytes, 'b'));
}

TEST(ParseSettingsFileTest, LineEndsAtAnEmbeddedNul) {
  // The line is read as a C string: its last byte before the NUL is dropped, and a label
  // behind the NUL is not seen.
  EXPECT_EQ(Parse(std::string("Key Event:ab\0cd\r\n", 17)),
            DefaultsWith({{SettingSlot::KeyCode, "a"}}));
  EXPECT_EQ(Parse(std::string("x\0Key Event:ab\r\n", 16)), DefaultSettings(Cp932Text(kDir)));
}

TEST(FormatSettingsFileTest, NineteenLinesInSlotOrder) {
  Settings settings = DefaultSettings(Cp932Text(kDir));
  settings[SettingSlot::KeyCode] = Cp932Text("A");
  const std::string file = FormatSettingsFile(settings);
  std::string expected;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    expected += Label(static_cast<SettingSlot>(i)) + settings.slots[i].bytes() + "\r\n";
  }
  EXPECT_EQ(file, expected);
  EXPECT_EQ(file.substr(0, 23), Label(SettingSlot::SwitchDevice) + "NONE\r\n");
}

TEST(FormatSettingsFileTest, AValueEndsAtALineFeedOrNul) {
  Settings settings = DefaultSettings(Cp932Text(kDir));
  settings[SettingSlot::KeyCode] = Cp932Text("A\nB");
  settings[SettingSlot::Modifiers] =
      Cp932Text(std::string("10\0"
                            "1",
                            4));
  const Settings read = Parse(FormatSettingsFile(settings));
  EXPECT_EQ(read[SettingSlot::KeyCode], "A");
  EXPECT_EQ(read[SettingSlot::Modifiers], "10");
  EXPECT_EQ(read[SettingSlot::MouseX], "300");
}

}  // namespace
}  // namespace velmarin
