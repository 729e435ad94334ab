#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "settings/settings_file.h"
#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using test::FolderEntries;
using test::ReadFileBytes;
using test::RunUnprivileged;
using test::TempDir;
using test::WriteFileBytes;

ProgramDir DirOf(const fs::path& path) {
  std::string error;
  auto dir = MakeProgramDir(path, &error);
  EXPECT_TRUE(dir.has_value()) << error;
  return dir.value_or(ProgramDir{path, Cp932Text(path.string())});
}

// A program folder of its own for each test.
class SettingsFileTest : public ::testing::Test {
 protected:
  std::string File() const { return ReadFileBytes(temp / "velmarin.ini"); }

  TempDir temp;
  const ProgramDir dir = DirOf(temp.path());
  OwnMessage warning;  // what LoadSettings says
  OwnMessage error;    // what SaveSettings says
};
using LoadSettingsTest = SettingsFileTest;
using SaveSettingsTest = SettingsFileTest;
using SettingsRoundTripTest = SettingsFileTest;

// Makes every write beyond `bytes` fail with EFBIG for the lifetime of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = nullptr;
};

TEST_F(LoadSettingsTest, MissingFileIsCreatedWithDefaults) {
  const Settings loaded = LoadSettings(dir, &warning);
  EXPECT_TRUE(warning.empty());
  EXPECT_EQ(loaded, DefaultSettings(dir.cp932));

  const std::string file = File();
  EXPECT_EQ(file, FormatSettingsFile(DefaultSettings(dir.cp932)));
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < file.size();) {
    const std::size_t end = file.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
    lines.push_back(file.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], std::string(SettingLabel(SettingSlot::SwitchDevice)) + "NONE");
  EXPECT_EQ(lines[9], std::string(SettingLabel(SettingSlot::WatchFolder)) + temp.path().string());
  EXPECT_EQ(lines[10], std::string(SettingLabel(SettingSlot::TransferFolder)) +
                           temp.path().string() + "/hozon");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(LoadSettingsTest, EmptyFileGivesDefaultsAndStaysEmpty) {
  WriteFileBytes(temp / "velmarin.ini", "");
  EXPECT_EQ(LoadSettings(dir, &warning), DefaultSettings(dir.cp932));
  EXPECT_TRUE(warning.empty());
  EXPECT_EQ(File(), "");
}

TEST_F(LoadSettingsTest, ExistingFileIsReadAndNotRewritten) {
  const std::string file = "comment\r\nKey Event:q\r\n";
  WriteFileBytes(temp / "velmarin.ini", file);
  const Settings loaded = LoadSettings(dir, &warning);
  EXPECT_EQ(loaded[SettingSlot::KeyCode], "q");
  EXPECT_EQ(loaded[SettingSlot::WatchFolder], temp.path().string());
  EXPECT_EQ(File(), file);
}

TEST_F(LoadSettingsTest, UncreatableFileGivesDefaultsAndAWarning) {
  const ProgramDir missing = DirOf(temp / "no-such-folder");
  EXPECT_EQ(LoadSettings(missing, &warning), DefaultSettings(missing.cp932));
  EXPECT_NE(warning.english.find("velmarin.ini"), std::string::npos) << warning.english;
  EXPECT_FALSE(fs::exists(missing.path));
}

TEST_F(LoadSettingsTest, UnreadableFileGivesDefaultsAndAWarningAndIsKept) {
  fs::create_directory(temp / "velmarin.ini");  // opens, but cannot be read
  EXPECT_EQ(LoadSettings(dir, &warning), DefaultSettings(dir.cp932));
  EXPECT_NE(warning.english.find("velmarin.ini"), std::string::npos) << warning.english;
  EXPECT_TRUE(fs::is_directory(temp / "velmarin.ini"));
}

TEST_F(LoadSettingsTest, FifoInPlaceOfTheFileDoesNotHoldTheStart) {
  ASSERT_EQ(mkfifo((temp / "velmarin.ini").c_str(), 0600), 0);
  EXPECT_EQ(LoadSettings(dir, &warning), DefaultSettings(dir.cp932));
  EXPECT_NE(warning.english.find("not a regular file"), std::string::npos) << warning.english;
  EXPECT_TRUE(fs::is_fifo(temp / "velmarin.ini"));
}

TEST_F(LoadSettingsTest, FileWithoutReadPermissionIsNotReplaced) {
  WriteFileBytes(temp / "velmarin.ini", "Key Event:q\r\n");
  fs::permissions(temp / "velmarin.ini", fs::perms::owner_write);
  const std::string outcome = RunUnprivileged(temp.path(), [&] {
    const bool defaults = LoadSettings(dir, &warning) == DefaultSettings(dir.cp932);
    return std::string(defaults ? "defaults" : "file values") + (warning.empty() ? "" : ", warned");
  });
  EXPECT_EQ(outcome, "defaults, warned");
  fs::permissions(temp / "velmarin.ini", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(File(), "Key Event:q\r\n");
}

TEST_F(LoadSettingsTest, Utf8FileIsReadAndItsEncodingTold) {
  WriteFileBytes(
      temp / "velmarin.ini",
      Cp932ToUtf8(Cp932Text(SettingLabel(SettingSlot::WatchFolder))).value() + "/検査\r\n");
  SettingsEncoding encoding = SettingsEncoding::kShiftJis;
  const Settings loaded = LoadSettings(dir, &warning, &encoding);
  EXPECT_EQ(loaded[SettingSlot::WatchFolder], Utf8ToCp932("/検査").value());
  EXPECT_TRUE(warning.empty()) << warning.english;
  EXPECT_EQ(encoding, SettingsEncoding::kUtf8);
}

class SaveChangedSettingsTest : public SettingsFileTest {
 protected:
  Settings loaded_ = DefaultSettings(dir.cp932);
  OwnMessage message_;
};

TEST_F(SaveChangedSettingsTest, NothingChangedWritesNothing) {
  WriteFileBytes(temp / "velmarin.ini", "edited meanwhile\r\n");
  EXPECT_TRUE(SaveChangedSettings(dir, loaded_, loaded_, &message_));
  EXPECT_TRUE(message_.empty());
  EXPECT_EQ(File(), "edited meanwhile\r\n");
}

TEST_F(SaveChangedSettingsTest, OnlyTheChangedSlotsReplaceWhatTheFileHoldsNow) {
  ASSERT_TRUE(SaveSettings(dir, loaded_, &error)) << error.english;
  // Edited while the program ran: a new watch folder and the key code.
  Settings edited = loaded_;
  edited[SettingSlot::WatchFolder] = Cp932Text("/edited/watch");
  edited[SettingSlot::KeyCode] = Cp932Text("0D");
  ASSERT_TRUE(SaveSettings(dir, edited, &error)) << error.english;

  Settings current = loaded_;
  current[SettingSlot::TransferFolder] = Cp932Text("/changed/transfer");
  current[SettingSlot::KeyCode] =
      Cp932Text("q");  // changed in this run as well: this run's value wins
  ASSERT_TRUE(SaveChangedSettings(dir, loaded_, current, &message_)) << message_.english;
  EXPECT_TRUE(message_.empty());
  Settings expected = edited;
  expected[SettingSlot::TransferFolder] = Cp932Text("/changed/transfer");
  expected[SettingSlot::KeyCode] = Cp932Text("q");
  EXPECT_EQ(File(), FormatSettingsFile(expected));
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SaveChangedSettingsTest, MissingFileGetsTheWholeRecord) {
  Settings current = loaded_;
  current[SettingSlot::EvacuateAtStartup] = Cp932Text("1");
  ASSERT_TRUE(SaveChangedSettings(dir, loaded_, current, &message_)) << message_.english;
  EXPECT_TRUE(message_.empty());
  EXPECT_EQ(File(), FormatSettingsFile(current));
}

TEST_F(SaveChangedSettingsTest, UnreadableFileIsNeverReplaced) {
  ASSERT_EQ(mkfifo((temp / "velmarin.ini").c_str(), 0600), 0);
  EXPECT_TRUE(SaveChangedSettings(dir, loaded_, loaded_, &message_));
  EXPECT_TRUE(fs::is_fifo(temp / "velmarin.ini"));

  Settings current = loaded_;
  current[SettingSlot::JpegQuality] = Cp932Text("80");
  EXPECT_FALSE(SaveChangedSettings(dir, loaded_, current, &message_));
  EXPECT_NE(message_.english.find("cannot read"), std::string::npos) << message_.english;
  EXPECT_NE(message_.english.find("not saved"), std::string::npos) << message_.english;
  EXPECT_TRUE(fs::is_fifo(temp / "velmarin.ini"));
}

// A file an editor re-saved in UTF-8: a save replaces only the changed line, in UTF-8, and keeps
// every other line and byte, the user's values among them; every value written reads back.
TEST_F(SaveChangedSettingsTest, Utf8FileKeepsEveryLineButTheChangedOne) {
  const auto utf8_line = [](SettingSlot slot, std::string_view value) {
    return Cp932ToUtf8(Cp932Text(SettingLabel(slot))).value() + std::string(value) + "\r\n";
  };
  const std::string bom = "\xEF\xBB\xBF";
  const std::string before = bom + utf8_line(SettingSlot::WatchFolder, "/mine/watch") +
                             "; a comment\r\n" + utf8_line(SettingSlot::JpegQuality, "70") +
                             utf8_line(SettingSlot::TextFont, "IPAexゴシック");
  WriteFileBytes(temp / "velmarin.ini", before);
  const Settings read_as = LoadSettings(dir, &warning);
  ASSERT_TRUE(warning.empty()) << warning.english;
  EXPECT_EQ(read_as[SettingSlot::JpegQuality], "70");
  Settings current = read_as;
  current[SettingSlot::WatchFolder] = Utf8ToCp932("/静止画").value();
  current[SettingSlot::JpegQuality] = Cp932Text("80");
  current[SettingSlot::TextColor] = Cp932Text("00FF00");
  ASSERT_TRUE(SaveChangedSettings(dir, read_as, current, &message_)) << message_.english;
  EXPECT_EQ(File(), bom + utf8_line(SettingSlot::WatchFolder, "/静止画") + "; a comment\r\n" +
                        utf8_line(SettingSlot::JpegQuality, "80") +
                        utf8_line(SettingSlot::TextFont, "IPAexゴシック") +
                        utf8_line(SettingSlot::TextColor, "00FF00"));
  EXPECT_EQ(LoadSettings(dir, &warning), current);

  // A value UTF-8 cannot carry (a broken code page 932 byte) is refused, nothing written.
  const std::string saved = File();
  Settings broken = current;
  broken[SettingSlot::TextLines] = Cp932Text("\x82");
  EXPECT_FALSE(SaveChangedSettings(dir, current, broken, &message_));
  EXPECT_NE(message_.english.find("TextLines"), std::string::npos) << message_.english;
  EXPECT_NE(message_.japanese.find("TextLines の新しい値は UTF-8 で書けない"), std::string::npos)
      << message_.japanese;
  EXPECT_EQ(File(), saved);
}

// A Shift-JIS file with a line added in UTF-8: each changed line keeps its own encoding, a new
// line takes the file's (UTF-8, as one of its labels is), and what was written reads back.
TEST_F(SaveChangedSettingsTest, EachLineIsWrittenInItsOwnEncoding) {
  const std::string quality_utf8 =
      Cp932ToUtf8(Cp932Text(SettingLabel(SettingSlot::JpegQuality))).value();
  const std::string font(SettingLabel(SettingSlot::TextFont));
  WriteFileBytes(temp / "velmarin.ini", font + "x\r\n" + quality_utf8 + "70\r\n");
  const Settings read_as = LoadSettings(dir, &warning);
  Settings current = read_as;
  current[SettingSlot::TextFont] = Utf8ToCp932("ＭＳ ゴシック").value();
  current[SettingSlot::JpegQuality] = Cp932Text("80");
  current[SettingSlot::KeyCode] = Cp932Text("0D");
  ASSERT_TRUE(SaveChangedSettings(dir, read_as, current, &message_)) << message_.english;
  EXPECT_EQ(File(), font + current[SettingSlot::TextFont].bytes() + "\r\n" + quality_utf8 +
                        "80\r\nKey Event:0D\r\n");
  EXPECT_EQ(LoadSettings(dir, &warning), current);
}

// An administrator's write protection holds: a file the user may not write is not replaced
// through a rename, however the folder's permissions allow it, and the system's reason is said.
TEST_F(SaveChangedSettingsTest, WriteProtectedFileIsNotReplaced) {
  WriteFileBytes(temp / "velmarin.ini", "Key Event:old\r\n");
  fs::permissions(temp / "velmarin.ini",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Settings current = loaded_;
  current[SettingSlot::KeyCode] = Cp932Text("new");
  const std::string outcome = RunUnprivileged(temp.path(), [&] {
    const bool saved = SaveChangedSettings(dir, loaded_, current, &message_);
    return std::string(saved ? "saved" : "not saved") + ": " + message_.english + " | " +
           message_.japanese;
  });
  EXPECT_NE(outcome.find("not saved: cannot write " + (temp / "velmarin.ini").string() +
                         ": Permission denied (the file is write-protected"),
            std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find("書き込みが禁止されている"), std::string::npos) << outcome;
  EXPECT_EQ(File(), "Key Event:old\r\n");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SaveChangedSettingsTest, LinesWithoutLabelsAndOtherLineEndsAreKept) {
  const std::string label(SettingLabel(SettingSlot::KeyCode));
  WriteFileBytes(temp / "velmarin.ini", "# shared station file\n" + label + "0D\nlast");
  Settings current = loaded_;
  current[SettingSlot::KeyCode] = Cp932Text("q");
  current[SettingSlot::Modifiers] = Cp932Text("100");
  ASSERT_TRUE(SaveChangedSettings(dir, loaded_, current, &message_)) << message_.english;
  EXPECT_EQ(File(), "# shared station file\n" + label + "q\nlast\n" +
                        std::string(SettingLabel(SettingSlot::Modifiers)) + "100\n");
}

// One file shared by several program folders through a link: the save goes into the shared
// file and the link stays a link.
TEST_F(SaveChangedSettingsTest, SymbolicLinkIsWrittenThrough) {
  fs::create_directory(temp / "shared");
  ASSERT_TRUE(SaveSettings(DirOf(temp / "shared"), loaded_, &error)) << error.english;
  fs::create_symlink("shared/velmarin.ini", temp / "velmarin.ini");
  Settings current = loaded_;
  current[SettingSlot::JpegQuality] = Cp932Text("80");
  ASSERT_TRUE(SaveChangedSettings(dir, loaded_, current, &message_)) << message_.english;
  EXPECT_TRUE(fs::is_symlink(temp / "velmarin.ini"));
  EXPECT_EQ(ReadFileBytes(temp / "shared" / "velmarin.ini"), FormatSettingsFile(current));
  EXPECT_EQ(FolderEntries(temp / "shared"), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SaveChangedSettingsTest, FailedWriteIsReported) {
  fs::create_directory(temp / "velmarin.ini");
  WriteFileBytes(temp / "velmarin.ini" / "inside", "x");
  Settings current = loaded_;
  current[SettingSlot::JpegQuality] = Cp932Text("80");
  EXPECT_FALSE(SaveChangedSettings(dir, loaded_, current, &message_));
  EXPECT_NE(message_.english.find("velmarin.ini"), std::string::npos) << message_.english;
  EXPECT_EQ(ReadFileBytes(temp / "velmarin.ini" / "inside"), "x");
}

TEST_F(SaveSettingsTest, WritesTheFormattedFileAndLeavesNoTemporaryFile) {
  WriteFileBytes(temp / "velmarin.ini", "old contents\r\n");
  Settings settings = DefaultSettings(dir.cp932);
  settings[SettingSlot::SwitchDevice] = Cp932Text("USB-IO");
  ASSERT_TRUE(SaveSettings(dir, settings, &error)) << error.english;
  EXPECT_EQ(File(), FormatSettingsFile(settings));
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SaveSettingsTest, KeepsTheFilePermissions) {
  WriteFileBytes(temp / "velmarin.ini", "");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(temp / "velmarin.ini", mode);
  ASSERT_TRUE(SaveSettings(dir, DefaultSettings(dir.cp932), &error)) << error.english;
  EXPECT_EQ(fs::status(temp / "velmarin.ini").permissions(), mode);
}

TEST_F(SaveSettingsTest, FailedWriteKeepsTheOldFile) {
  const std::string old_file = FormatSettingsFile(DefaultSettings(dir.cp932));
  WriteFileBytes(temp / "velmarin.ini", old_file);
  Settings settings = DefaultSettings(dir.cp932);
  settings[SettingSlot::TextLines] = Cp932Text(std::string(kSlotMaxBytes, 'n'));
  bool saved = true;
  {
    const FileSizeLimit limit(100);
    saved = SaveSettings(dir, settings, &error);
  }
  EXPECT_FALSE(saved);
  EXPECT_NE(error.english.find("velmarin.ini"), std::string::npos) << error.english;
  EXPECT_EQ(File(), old_file);
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SaveSettingsTest, FailedReplaceLeavesNoTemporaryFile) {
  fs::create_directory(temp / "velmarin.ini");
  WriteFileBytes(temp / "velmarin.ini" / "inside", "x");
  EXPECT_FALSE(SaveSettings(dir, DefaultSettings(dir.cp932), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
  EXPECT_EQ(ReadFileBytes(temp / "velmarin.ini" / "inside"), "x");
}

TEST_F(SaveSettingsTest, ReadOnlyFolderKeepsTheOldFile) {
  WriteFileBytes(temp / "velmarin.ini", "Key Event:old\r\n");
  fs::permissions(temp.path(), fs::perms::owner_read | fs::perms::owner_exec);
  const std::string outcome = RunUnprivileged(temp.path(), [&] {
    const bool saved = SaveSettings(dir, DefaultSettings(dir.cp932), &error);
    return std::string(saved ? "saved" : "not saved") + (error.empty() ? "" : ", reported");
  });
  fs::permissions(temp.path(), fs::perms::owner_all);
  EXPECT_EQ(outcome, "not saved, reported");
  EXPECT_EQ(File(), "Key Event:old\r\n");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

// Any value of up to a slot's size without NUL, CR or LF survives a save and a load.
TEST_F(SettingsRoundTripTest, RandomValuesSurviveSaveAndLoad) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, static_cast<int>(kSlotMaxBytes));
  std::uniform_int_distribution<int> byte(1, 255);
  for (int iteration = 0; iteration < 200; ++iteration) {
    Settings settings;
    for (Cp932Text& slot : settings.slots) {
      std::string value(static_cast<std::size_t>(length(random)), ' ');
      for (char& c : value) {
        int b;
        do b = byte(random);
        while (b == '\n' || b == '\r');
        c = static_cast<char>(b);
      }
      slot = Cp932Text(std::move(value));
    }
    ASSERT_TRUE(SaveSettings(dir, settings, &error)) << error.english;
    ASSERT_EQ(LoadSettings(dir, &warning), settings) << "iteration " << iteration;
    ASSERT_TRUE(warning.empty());
  }
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"velmarin.ini"});
}

TEST_F(SettingsRoundTripTest, EdgeValuesSurviveSaveAndLoad) {
  Settings settings = DefaultSettings(dir.cp932);
  settings[SettingSlot::KeyCode] = Cp932Text("");
  settings[SettingSlot::TextLines] = Cp932Text(std::string(kSlotMaxBytes, 'L'));
  settings[SettingSlot::NameFormat] =
      Cp932Text(std::string(kSlotMaxBytes - 1, 'x') + "\x95");  // lead byte last
  settings[SettingSlot::SourceRange] = Cp932Text("  1,2,3,4  ");
  settings[SettingSlot::Modifiers] = Cp932Text("\r1\r0\r");  // lone CRs are not line ends
  ASSERT_TRUE(SaveSettings(dir, settings, &error)) << error.english;
  EXPECT_EQ(LoadSettings(dir, &warning), settings);
}

}  // namespace
}  // namespace velmarin
