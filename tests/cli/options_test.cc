#include "cli/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmarin::cli {
namespace {

std::optional<Options> Parse(std::vector<const char*> args, std::string* error) {
  args.insert(args.begin(), "velmarin");
  return ParseOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(ParseOptions, TakesDirIdAndCommandInAnyOrder) {
  std::string error;
  auto options = Parse({"--next-name", "--id", "123", "--dir", "/tmp/x"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->command, Command::kNextName);
  EXPECT_EQ(options->dir, "/tmp/x");
  EXPECT_EQ(options->id, "123");
}

TEST(ParseOptions, UserFolderStandsForDir) {
  std::string error;
  auto options = Parse({"--user-folder", "--headless"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->user_folder);
  EXPECT_FALSE(options->dir);
  EXPECT_FALSE(Parse({"--user-folder", "--dir", "/tmp/x", "--headless"}, &error));
  EXPECT_EQ(error, "--dir and --user-folder both name the program folder");
}

TEST(ParseOptions, CommandsTakeTheirFiles) {
  std::string error;
  auto options = Parse({"--process", "a.jpg", "b.jpg"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->command, Command::kProcess);
  EXPECT_EQ(options->files, (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST(ParseOptions, SetIsRepeatableAndSettingsIsACommand) {
  std::string error;
  auto options = Parse({"--set", "KeyCode=0D", "--dir", "/d", "--set", "NameFormat=$i"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->command, Command::kSet);
  EXPECT_EQ(options->assignments, (std::vector<std::string>{"KeyCode=0D", "NameFormat=$i"}));
  options = Parse({"--settings"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->command, Command::kSettings);
  EXPECT_FALSE(Parse({"--set", "KeyCode=0D", "--settings"}, &error));
  EXPECT_FALSE(Parse({"--settings", "--set", "KeyCode=0D"}, &error));
  EXPECT_FALSE(Parse({"--set"}, &error));
}

TEST(ParseOptions, NoCommandOpensTheWindow) {
  std::string error;
  auto options = Parse({"--dir", "/tmp/x"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->command, Command::kWindow);
}

TEST(ParseOptions, RefusesUsageErrors) {
  std::string error;
  EXPECT_FALSE(Parse({"--process", "a.jpg"}, &error));
  EXPECT_FALSE(Parse({"--next-name", "--headless"}, &error));
  EXPECT_FALSE(Parse({"--dir"}, &error));
  EXPECT_FALSE(Parse({"--bogus"}, &error));
  EXPECT_EQ(error, "unknown argument: --bogus");
}

}  // namespace
}  // namespace velmarin::cli
