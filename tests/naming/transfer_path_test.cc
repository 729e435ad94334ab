#include "naming/transfer_path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.h"
#include "naming/serial_memo.h"
#include "platform/encoding.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};
constexpr const char* kDefaultTemplate = "$y\\$i06_$y$M$d_$r03";

// The transfer folder is held open, as the folder thread holds it.
class TransferPathTest : public testing::Test {
 protected:
  // The target the search finds now for `templ` and `id`, in the folder held open.
  std::optional<TransferTarget> Search(std::string_view templ = kDefaultTemplate,
                                       std::string_view id = "123") {
    return BuildTransferTarget(Cp932Text(templ), Cp932Text(id), Cp932Text(dir_.path().string()),
                               opened_, kNow, &error_);
  }

  std::optional<fs::path> Build(std::string_view templ, std::string_view id = "123") {
    const auto target = Search(templ, id);
    if (!target) return std::nullopt;
    return target->name();
  }

  // The file the default template gives ID 123 with serial `serial`.
  fs::path Numbered(int serial) const {
    char name[64];
    std::snprintf(name, sizeof name, "000123_20120928_%03d.jpg", serial);
    return dir_.path() / "2012" / name;
  }

  void Touch(const fs::path& path) const {
    fs::create_directories(path.parent_path());
    test::WriteFileBytes(path, "x");
  }

  test::TempDir held_dir_;
  const fs::path held_ = held_dir_ / "held";
  test::TempDir dir_;
  UniqueFd folder_fd_{::open(dir_.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
  OpenTransferFolder opened_{folder_fd_.get(), dir_.path(), ""};
  std::string error_;
};

TEST_F(TransferPathTest, DefaultTemplateStartsAtOneAndCreatesTheYearFolder) {
  EXPECT_EQ(Build(kDefaultTemplate), Numbered(1)) << error_;
  EXPECT_TRUE(fs::is_directory(dir_ / "2012"));
  EXPECT_FALSE(fs::exists(Numbered(1)));
}

// The preview's name: the same search, but nothing is created (a stalled or shared transfer
// folder must not grow folders each time a dialog shows a name).
TEST_F(TransferPathTest, PreviewNameIsTheSameSearchAndCreatesNothing) {
  Touch(dir_ / "sub" / "09_01.jpg");
  EXPECT_EQ(BuildTransferPath(Cp932Text("sub\\$i02_$r02"), Cp932Text("9"),
                              Cp932Text(dir_.path().string()), kNow, &error_),
            dir_ / "sub" / "09_02.jpg");
  EXPECT_EQ(BuildTransferPath(Cp932Text(kDefaultTemplate), "123", Cp932Text(dir_.path().string()),
                              kNow, &error_),
            Numbered(1));
  EXPECT_FALSE(fs::exists(dir_ / "2012"));
}

TEST_F(TransferPathTest, SerialFollowsTheHighestNumberUsed) {
  for (int serial = 1; serial <= 5; ++serial) Touch(Numbered(serial));
  EXPECT_EQ(Build(kDefaultTemplate), Numbered(6));
  Touch(Numbered(40));
  EXPECT_EQ(Build(kDefaultTemplate), Numbered(41));
}

TEST_F(TransferPathTest, GapOfFiftyFreeNumbersIsFilled) {
  for (int serial = 1; serial <= 5; ++serial) Touch(Numbered(serial));
  Touch(Numbered(60));
  EXPECT_EQ(Build(kDefaultTemplate), Numbered(6));
}

TEST_F(TransferPathTest, SerialOutgrowsItsWidth) {
  for (int serial = 1; serial <= 1234; ++serial) Touch(Numbered(serial));
  EXPECT_EQ(Build(kDefaultTemplate), dir_ / "2012" / "000123_20120928_1235.jpg") << error_;
}

TEST_F(TransferPathTest, FoldersCountAsTaken) {
  fs::create_directories(dir_ / "n1.jpg");
  EXPECT_EQ(Build("n$r01"), dir_ / "n2.jpg");
}

TEST_F(TransferPathTest, NumberingRestartsForEveryDistinctName) {
  Touch(Numbered(1));
  EXPECT_EQ(Build(kDefaultTemplate, "124"), dir_ / "2012" / "000124_20120928_001.jpg") << error_;
}

TEST_F(TransferPathTest, PlaceholderTakesTheTwoBytesBehindIt) {
  // "$r3" at the end of the name takes the dot of ".jpg" into the placeholder.
  EXPECT_EQ(Build("img_$r3"), dir_ / "img_001jpg");
}

TEST_F(TransferPathTest, EveryCopyOfThePlaceholderGetsTheSerial) {
  Touch(dir_ / "01-01.jpg");
  EXPECT_EQ(Build("$r02-$r02"), dir_ / "02-02.jpg");
  EXPECT_EQ(Build("$r02-$r03"), dir_ / "01-$r03.jpg");
}

struct WidthCase {
  std::string templ;
  std::string expected_name;
};

class SerialWidthTest : public TransferPathTest, public testing::WithParamInterface<WidthCase> {};

TEST_P(SerialWidthTest, WidthIsTheNumberAtTheStartOfTheTwoBytes) {
  EXPECT_EQ(Build(GetParam().templ), dir_ / GetParam().expected_name) << error_;
}

INSTANTIATE_TEST_SUITE_P(Widths, SerialWidthTest,
                         testing::Values(WidthCase{"a$r05", "a00001.jpg"},
                                         WidthCase{"a$r5x", "a00001.jpg"},
                                         WidthCase{"a$r 4", "a0001.jpg"},  // blank skipped
                                         WidthCase{"a$r+2", "a01.jpg"},
                                         WidthCase{"a$r-3", "a1.jpg"},  // negative: plain
                                         WidthCase{"a$rxy", "a1.jpg"},  // no number: plain
                                         WidthCase{"a$r00", "a1.jpg"},
                                         WidthCase{"a$r99", "a" + std::string(98, '0') + "1.jpg"}));

TEST_F(TransferPathTest, WithoutSerialAnExistingFileIsReturned) {
  Touch(dir_ / "fixed.jpg");
  EXPECT_EQ(Build("fixed"), dir_ / "fixed.jpg");
}

TEST_F(TransferPathTest, NoFreeSerialFailsInsteadOfReusingAFile) {
  // Every run of fifty numbers below 99999 holds a taken one.
  const auto numbered = [this](int serial) {
    return dir_ / ("n" + std::to_string(serial) + ".jpg");
  };
  for (int serial = 50; serial < 99999; serial += 50) test::WriteFileBytes(numbered(serial), "x");
  test::WriteFileBytes(numbered(99999), "x");
  EXPECT_FALSE(Build("n$r01"));
  EXPECT_EQ(error_, "no free serial number below 99999 for " + (dir_ / "n$r01.jpg").string());

  // The last free run below the limit is still found.
  fs::remove(numbered(99950));
  EXPECT_EQ(Build("n$r01"), numbered(99901));
}

TEST_F(TransferPathTest, BackslashAndSlashBothMakeFolders) {
  EXPECT_EQ(Build("a\\b/c\\\\d"), dir_ / "a" / "b" / "c" / "d.jpg");
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b/c"));
}

TEST_F(TransferPathTest, JapaneseTemplateBecomesAUtf8FolderName) {
  const auto templ = Utf8ToCp932("写真\\$i03");
  ASSERT_TRUE(templ);
  EXPECT_EQ(Build(templ->view()), dir_ / "写真" / "123.jpg") << error_;
  EXPECT_TRUE(fs::is_directory(dir_ / "写真"));
}

TEST_F(TransferPathTest, TrailByteOfTwoByteCharacterIsNoSeparator) {
  ASSERT_EQ(Utf8ToCp932("表"), "\x95\x5C");
  ASSERT_EQ(Utf8ToCp932("ソ"), "\x83\x5C");
  EXPECT_EQ(Build("\x95\x5C\x83\x5C$r02"), dir_ / "表ソ01.jpg") << error_;
  EXPECT_EQ(test::FolderEntries(dir_.path()), std::vector<std::string>{});
}

TEST_F(TransferPathTest, TransferFolderIsCodePage932) {
  const auto folder = Utf8ToCp932((dir_ / "保存").string());
  ASSERT_TRUE(folder);
  const auto target =
      BuildTransferTarget(Cp932Text("$i02"), Cp932Text("7"), *folder, {}, kNow, &error_);
  ASSERT_TRUE(target) << error_;
  EXPECT_EQ(target->name(), dir_ / "保存" / "07.jpg");
  EXPECT_TRUE(fs::is_directory(dir_ / "保存"));
}

TEST_F(TransferPathTest, TrailingSeparatorOfTheFolderIsHarmless) {
  const auto path = BuildTransferPath(Cp932Text("x"), Cp932Text(""),
                                      Cp932Text(dir_.path().string() + "/"), kNow, &error_);
  ASSERT_TRUE(path) << error_;
  EXPECT_EQ(fs::path(*path).lexically_normal(), dir_ / "x.jpg");
}

TEST_F(TransferPathTest, RefusesWhatDoesNotConvert) {
  EXPECT_FALSE(Build("a\x95"));  // lone lead byte
  EXPECT_EQ(error_, "the transfer path cannot be converted from code page 932 to UTF-8");
  error_.clear();
  EXPECT_FALSE(Build("$i00", "\x81"));
  EXPECT_FALSE(error_.empty());
  error_.clear();
  EXPECT_FALSE(BuildTransferPath(Cp932Text("x"), Cp932Text(""),
                                 Cp932Text(dir_.path().string() + "\x81"), kNow, &error_));
  EXPECT_FALSE(error_.empty());
}

TEST_F(TransferPathTest, RefusesZeroBytes) {
  EXPECT_FALSE(Build(std::string("a\0$r03", 6)));
  EXPECT_EQ(error_, "the transfer path contains a zero byte");
}

TEST_F(TransferPathTest, RefusesAnEmptyTransferFolder) {
  EXPECT_FALSE(BuildTransferPath(Cp932Text("x"), Cp932Text("1"), "", kNow, &error_));
  EXPECT_EQ(error_, "no transfer folder set");
}

TEST_F(TransferPathTest, RefusesNamesThatLeaveTheTransferFolder) {
  EXPECT_FALSE(Build("..\\x"));
  EXPECT_EQ(error_, "the file name leads out of the transfer folder: ../x");
  error_.clear();
  EXPECT_FALSE(Build("a/$i00/b", ".."));
  EXPECT_FALSE(error_.empty());
  EXPECT_TRUE(Build("..x\\.\\x..")) << error_;
}

TEST_F(TransferPathTest, LongNamesAreNeitherCutNorRefusedBelowTheSystemLimits) {
  // Longer than the old limits of 251 bytes per name and 299 per path.
  const std::string name(251, 'n');  // 255 bytes with ".jpg"
  const std::string folder(200, 'f');
  EXPECT_EQ(Build(folder + "\\" + name), dir_ / folder / (name + ".jpg")) << error_;
  EXPECT_TRUE(fs::is_directory(dir_ / folder));
}

TEST_F(TransferPathTest, RefusesNamesBeyondTheSystemLimits) {
  EXPECT_FALSE(Build(std::string(252, 'n')));
  EXPECT_NE(error_.find("longer than 255 bytes"), std::string::npos) << error_;
  error_.clear();
  std::string deep;
  for (int level = 0; level < 21; ++level) deep += std::string(200, 'd') + "\\";
  EXPECT_FALSE(Build(deep + "x"));
  EXPECT_EQ(error_, "the transfer path is longer than 4095 bytes");
  EXPECT_FALSE(fs::exists(dir_ / std::string(200, 'd')));
}

TEST_F(TransferPathTest, SerialDigitsCanPushANameOverTheLimit) {
  const std::string name = std::string(250, 'n') + "$r01";  // 251 bytes with "1.jpg"
  ASSERT_TRUE(Build(name)) << error_;
  for (int serial = 1; serial <= 9; ++serial)
    Touch(dir_ / (std::string(250, 'n') + std::to_string(serial) + ".jpg"));
  EXPECT_FALSE(Build(name));
  EXPECT_NE(error_.find("longer than 255 bytes"), std::string::npos) << error_;
}

// A finished picture waiting under a temporary name in `folder`.
fs::path Finished(const fs::path& folder, std::string_view bytes) {
  fs::create_directories(folder);
  const fs::path temporary = folder / ".finished.abcdef";
  test::WriteFileBytes(temporary, bytes);
  return temporary;
}

TEST_F(TransferPathTest, NameTakenSinceTheSearchMovesOnToTheNextNumbers) {
  for (int serial = 1; serial <= 5; ++serial) Touch(Numbered(serial));
  Touch(Numbered(57));  // within fifty of the next numbers: the search would pass it over
  auto target = Search();
  ASSERT_TRUE(target) << error_;
  ASSERT_EQ(target->name(), Numbered(6));

  // Two other stations take 6 and 7 before this one is finished. Each name is announced
  // before it is claimed.
  test::WriteFileBytes(Numbered(6), "station 2");
  test::WriteFileBytes(Numbered(7), "station 3");
  std::vector<fs::path> announced;
  target->SetBeforeClaim([&](const AtPath&, const fs::path& name) {
    announced.push_back(name);
    return true;
  });
  ASSERT_TRUE(target->Place(Finished(dir_ / "2012", "mine")));
  EXPECT_EQ(announced, (std::vector<fs::path>{Numbered(6), Numbered(7), Numbered(8)}));
  EXPECT_EQ(target->name(), Numbered(8));
  EXPECT_EQ(test::ReadFileBytes(Numbered(8)), "mine");
  EXPECT_EQ(test::ReadFileBytes(Numbered(6)), "station 2");
  EXPECT_EQ(test::ReadFileBytes(Numbered(7)), "station 3");
  EXPECT_TRUE(target->error().empty());
}

// The hook may hold the image back: no name is claimed and the temporary is left to its writer.
TEST_F(TransferPathTest, ImageHeldBackBeforeItsClaimTakesNoName) {
  auto target = Search();
  ASSERT_TRUE(target) << error_;
  target->SetBeforeClaim([](const AtPath&, const fs::path&) { return false; });
  const fs::path temporary = Finished(dir_ / "2012", "mine");
  errno = 0;
  EXPECT_FALSE(target->Place(temporary));
  EXPECT_EQ(errno, ECANCELED);
  EXPECT_FALSE(fs::exists(target->name()));
  EXPECT_EQ(test::ReadFileBytes(temporary), "mine");
}

// Searches through the process's memo of the last search, as a station's next still does.
class SerialMemoFolderTest : public TransferPathTest {
 protected:
  // Gives the folder a time of its own, long past, as a folder another program changed a
  // while ago has: each call a different one, so every change is told by the folder's stamp
  // however fast the machine, and the listing after it is trusted.
  void Settle() {
    static std::int64_t seconds = 1'000'000'000;
    const timespec times[2] = {{0, UTIME_OMIT}, {++seconds, 500'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / "2012").c_str(), times, 0), 0);
  }

  // Searches, then claims the name found for a picture of `bytes`.
  std::optional<fs::path> BuildAndClaim(std::string_view bytes) {
    auto target = Search();
    if (!target || !target->Place(Finished(dir_ / "2012", bytes))) return std::nullopt;
    return target->name();
  }
};

TEST_F(SerialMemoFolderTest, AFolderChangedByAnotherProgramIsListedAgain) {
  for (int serial = 1; serial <= 60; ++serial) Touch(Numbered(serial));
  Settle();
  ASSERT_EQ(Build(kDefaultTemplate), Numbered(61)) << error_;
  for (int serial = 1; serial <= 60; ++serial) fs::remove(Numbered(serial));
  Settle();
  EXPECT_EQ(Build(kDefaultTemplate), Numbered(1)) << error_;
}

TEST_F(SerialMemoFolderTest, SearchesAfterOwnClaimsLookUpWhatOthersAddedMeanwhile) {
  for (int serial = 1; serial <= 5; ++serial) Touch(Numbered(serial));
  Settle();
  auto target = Search();
  ASSERT_TRUE(target) << error_;
  Touch(Numbered(8));  // another station, while this one writes its picture
  ASSERT_TRUE(target->Place(Finished(dir_ / "2012", "first")));
  EXPECT_EQ(target->name(), Numbered(6));
  EXPECT_EQ(BuildAndClaim("second"), Numbered(9));  // 7 has 8 within its fifty
  EXPECT_EQ(BuildAndClaim("third"), Numbered(10));
  EXPECT_EQ(test::ReadFileBytes(Numbered(9)), "second");
  EXPECT_EQ(test::ReadFileBytes(Numbered(10)), "third");
}

// What another program removes while this one claims a name is not seen until the folder
// changes again: the search goes on upwards meanwhile, it never reuses a name.
TEST_F(SerialMemoFolderTest, ARemovalDuringAClaimIsSeenOnceTheFolderChangesAgain) {
  for (int serial = 1; serial <= 60; ++serial) Touch(Numbered(serial));
  Settle();
  auto target = Search();
  ASSERT_TRUE(target) << error_;
  for (int serial = 1; serial <= 60; ++serial) fs::remove(Numbered(serial));
  ASSERT_TRUE(target->Place(Finished(dir_ / "2012", "first")));
  EXPECT_EQ(target->name(), Numbered(61));
  EXPECT_EQ(BuildAndClaim("second"), Numbered(62));
  Touch(dir_ / "2012" / "note.txt");
  Settle();
  EXPECT_EQ(BuildAndClaim("third"), Numbered(1));
}

// The transfer folder's path leads elsewhere once it is held open (its share dropped): the
// search, the folders and the file all stay in the folder held.
TEST_F(TransferPathTest, EverythingIsMadeInTheFolderHeldOpen) {
  Touch(Numbered(1));
  fs::rename(dir_.path(), held_);
  fs::create_directory(dir_.path());
  auto target = Build(kDefaultTemplate);
  ASSERT_EQ(target, Numbered(2)) << error_;
  EXPECT_TRUE(fs::is_directory(held_ / "2012"));
  EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(TransferPathTest, SerialInAFolderNameCreatesTheNextFolder) {
  auto target = BuildTransferTarget(Cp932Text("$r02\\x"), Cp932Text(""),
                                    Cp932Text(dir_.path().string()), opened_, kNow, &error_);
  ASSERT_TRUE(target) << error_;
  Touch(dir_ / "01" / "x.jpg");
  ASSERT_TRUE(target->Place(Finished(dir_ / "01", "mine")));
  EXPECT_EQ(target->name(), dir_ / "02" / "x.jpg");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "02" / "x.jpg"), "mine");
}

TEST_F(TransferPathTest, WithoutSerialTheNameIsReplaced) {
  Touch(dir_ / "fixed.jpg");
  auto target = BuildTransferTarget(Cp932Text("fixed"), Cp932Text(""),
                                    Cp932Text(dir_.path().string()), opened_, kNow, &error_);
  ASSERT_TRUE(target) << error_;
  ASSERT_TRUE(target->Place(Finished(dir_.path(), "mine")));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "fixed.jpg"), "mine");
}

TEST_F(TransferPathTest, NameTakenWithNoUsableNumberLeftFailsAndKeepsThePicture) {
  const std::string stem(250, 'n');
  for (int serial = 1; serial <= 8; ++serial)
    Touch(dir_ / (stem + std::to_string(serial) + ".jpg"));
  auto target = BuildTransferTarget(Cp932Text(stem + "$r01"), "", Cp932Text(dir_.path().string()),
                                    opened_, kNow, &error_);
  ASSERT_TRUE(target) << error_;
  ASSERT_EQ(target->name(), dir_ / (stem + "9.jpg"));
  Touch(target->name());
  const fs::path temporary = Finished(dir_.path(), "mine");
  EXPECT_FALSE(target->Place(temporary));  // "10" makes the name too long
  EXPECT_NE(target->error().find("longer than 255 bytes"), std::string::npos) << target->error();
  EXPECT_EQ(test::ReadFileBytes(temporary), "mine");
}

using EnsureParentFoldersTest = TransferPathTest;
using PathExistsTest = TransferPathTest;

TEST_F(EnsureParentFoldersTest, StationsCreatingTheSameFoldersAtOnceAllSucceed) {
  for (int round = 0; round < 20; ++round) {
    const fs::path file = dir_ / std::to_string(round) / "a" / "b" / "c" / "x.jpg";
    std::atomic<int> succeeded{0};
    {
      std::vector<std::jthread> stations;
      for (int station = 0; station < 6; ++station) {
        stations.emplace_back([&] { succeeded += EnsureParentFolders(file); });
      }
    }
    EXPECT_EQ(succeeded, 6) << file;
  }
}

TEST_F(EnsureParentFoldersTest, CreatesEveryMissingFolder) {
  fs::create_directory(dir_ / "a");
  EXPECT_TRUE(EnsureParentFolders(dir_ / "a/b/c/x.jpg"));
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b/c"));
  EXPECT_FALSE(fs::exists(dir_ / "a/b/c/x.jpg"));
}

TEST_F(EnsureParentFoldersTest, AcceptsRepeatedSeparators) {
  EXPECT_TRUE(EnsureParentFolders(fs::path(dir_.path().string() + "//a///b/x.jpg")));
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b"));
}

TEST_F(EnsureParentFoldersTest, TrueWhenEverythingAlreadyExists) {
  test::WriteFileBytes(dir_ / "x.jpg", "x");
  EXPECT_TRUE(EnsureParentFolders(dir_ / "x.jpg"));
  EXPECT_TRUE(EnsureParentFolders(fs::path("x.jpg")));  // no folder part
}

TEST_F(EnsureParentFoldersTest, FalseWhenAFolderCannotBeCreated) {
  test::WriteFileBytes(dir_ / "file", "x");
  EXPECT_FALSE(EnsureParentFolders(dir_ / "file/sub/x.jpg"));
}

TEST_F(PathExistsTest, FilesAndFoldersExist) {
  test::WriteFileBytes(dir_ / "f", "x");
  EXPECT_TRUE(PathExists(dir_ / "f"));
  EXPECT_TRUE(PathExists(dir_.path()));
  EXPECT_FALSE(PathExists(dir_ / "missing"));
}

}  // namespace
}  // namespace velmarin
