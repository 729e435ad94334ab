#include "naming/serial_search.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "naming/transfer_path.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

std::string Name(int serial) {
  char name[64];
  std::snprintf(name, sizeof name, "000123_%03d.jpg", serial);
  return name;
}

const SerialPaths kPaths({"/data/hozon/2012/000123_", ".jpg"}, 3);

std::optional<int> FreeSerialAmong(const SerialPaths& paths,
                                   const std::unordered_set<std::string>& names) {
  SerialListing listing(paths);
  for (const std::string& name : names) listing.Note(name);
  return listing.LowestFree();
}

TEST(SerialSearchTest, OnlyTheExactNameOfANumberTakesIt) {
  // Another ID, another case, another width, another ending, a temporary of this name.
  std::unordered_set<std::string> names = {"000124_001.jpg",      "000123_001.JPG",
                                           "000123_01.jpg",       "000123_0001.jpg",
                                           "000123_001.jpg.part", ".000123_001.velmarin-Ab12Cd"};
  EXPECT_EQ(FreeSerialAmong(kPaths, names), 1);
  names.insert("000123_001.jpg");
  EXPECT_EQ(FreeSerialAmong(kPaths, names), 2);
}

TEST(SerialSearchTest, NoneLeftBelowTheLimit) {
  EXPECT_EQ(LowestFreeSerial([](int serial) { return serial % 50 == 0; }), std::nullopt);
  EXPECT_EQ(LowestFreeSerial([](int serial) { return serial < kSerialLimit - kSerialWindow; }),
            kSerialLimit - kSerialWindow);
}

TEST(SerialSearchTest, EveryPlaceholderInTheNameIsTheSerial) {
  const SerialPaths paths({"/t/a", "_b", ".jpg"}, 2);
  ASSERT_TRUE(paths.InFileNameOnly());
  EXPECT_EQ(paths.Folder(), "/t/");
  EXPECT_EQ(paths.FileName(7), "a07_b07.jpg");
  EXPECT_EQ(paths.Path(7), "/t/a07_b07.jpg");
  // Both copies must carry the same number.
  EXPECT_EQ(FreeSerialAmong(paths, {"a01_b01.jpg", "a02_b03.jpg", "a03_b02.jpg"}), 2);
}

// Digits behind the placeholder ("$r035" is "$r03" and a 5) are not taken for the serial's.
TEST(SerialSearchTest, DigitsBehindTheSerialStayTheirs) {
  const SerialPaths paths({"/t/x", "5.jpg"}, 3);
  EXPECT_EQ(FreeSerialAmong(paths, {"x0015.jpg", "x0025.jpg", "x00105.jpg"}), 3);
  std::unordered_set<std::string> names;
  for (int serial = 1; serial <= 1000; ++serial) names.insert(paths.FileName(serial));
  EXPECT_EQ(FreeSerialAmong(paths, names), 1001);
  const SerialPaths plain({"/t/", "9.jpg"}, 0);  // "$r" without width: digits run together
  EXPECT_EQ(FreeSerialAmong(plain, {"19.jpg", "29.jpg", "1239.jpg"}), 3);
}

TEST(SerialSearchTest, ASerialInAFolderNameIsNoListingOfOneFolder) {
  const SerialPaths paths({"/t/", "/x.jpg"}, 3);
  EXPECT_FALSE(paths.InFileNameOnly());
  EXPECT_EQ(paths.Path(12), "/t/012/x.jpg");
}

class SerialSearchFolderTest : public testing::Test {
 protected:
  std::optional<fs::path> Build() {
    const auto target = BuildTransferTarget(Cp932Text("$i06_$r03"), Cp932Text("123"),
                                            Cp932Text(dir_.path().string()), {}, kNow, &error_);
    if (!target) return std::nullopt;
    return target->name();
  }

  test::TempDir dir_;
  std::string error_;
};

TEST_F(SerialSearchFolderTest, TheListingChoosesWhatLookingUpEachNumberChooses) {
  std::mt19937 random(32);
  for (int round = 0; round < 40; ++round) {
    fs::remove_all(dir_.path());
    fs::create_directories(dir_.path());
    std::set<int> present;
    const int count = static_cast<int>(random() % 200);
    for (int i = 0; i < count; ++i) {
      const int serial = 1 + static_cast<int>(random() % 400);
      present.insert(serial);
      test::WriteFileBytes(dir_.path() / Name(serial), "x");
    }
    const auto looked_up =
        LowestFreeSerial([&](int serial) { return PathExists(dir_.path() / Name(serial)); });
    ASSERT_TRUE(looked_up);
    EXPECT_EQ(Build(), dir_.path() / Name(*looked_up)) << error_;
  }
}

TEST_F(SerialSearchFolderTest, ADanglingLinkTakesItsNumber) {
  // The claim by hard link would be refused on it, so the search passes it over.
  fs::create_symlink(dir_.path() / "gone", dir_.path() / Name(1));
  EXPECT_EQ(Build(), dir_.path() / Name(2));
}

TEST_F(SerialSearchFolderTest, StationsRacingForNumbersFromOneListingGetOneEach) {
  for (int serial = 1; serial <= 3; ++serial) test::WriteFileBytes(dir_.path() / Name(serial), "x");
  constexpr int kStations = 6;
  std::vector<std::optional<TransferTarget>> targets;
  for (int i = 0; i < kStations; ++i) {
    targets.push_back(BuildTransferTarget(Cp932Text("$i06_$r03"), Cp932Text("123"),
                                          Cp932Text(dir_.path().string()), {}, kNow, &error_));
    ASSERT_TRUE(targets.back()) << error_;
    EXPECT_EQ(targets.back()->name(), dir_.path() / Name(4));  // all searched before any wrote
  }
  std::vector<std::thread> stations;
  std::vector<char> placed(kStations, 0);
  for (int i = 0; i < kStations; ++i) {
    const fs::path temporary = dir_.path() / (".station" + std::to_string(i));
    test::WriteFileBytes(temporary, std::to_string(i));
    stations.emplace_back([&, i, temporary] { placed[i] = targets[i]->Place(temporary); });
  }
  for (std::thread& station : stations) station.join();
  std::set<fs::path> names;
  for (int i = 0; i < kStations; ++i) {
    ASSERT_TRUE(placed[i]);
    names.insert(targets[i]->name());
    EXPECT_EQ(test::ReadFileBytes(targets[i]->name()), std::to_string(i));
  }
  std::set<fs::path> expected;
  for (int serial = 4; serial < 4 + kStations; ++serial)
    expected.insert(dir_.path() / Name(serial));
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace velmarin
