#include "cli/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmarin::cli {
namespace {

std::optional<Options> Parse(std::vector<const char*> args, std::string* error) {
  args.insert(args.begin(), "velmarin");
  return ParseOptions(static_cast<int>(args.size()), args.data(), error);
}

// The options of `args`, which must parse.
Options ParseOk(std::vector<const char*> args) {
  std::string error;
  const auto options = Parse(std::move(args), &error);
  EXPECT_TRUE(options) << error;
  return options.value_or(Options{});
}

TEST(ParseOptions, TakesDirIdAndCommandInAnyOrder) {
  const Options options = ParseOk({"--next-name", "--id", "123", "--dir", "/tmp/x"});
  EXPECT_EQ(options.command, Command::kNextName);
  EXPECT_EQ(options.dir, "/tmp/x");
  EXPECT_EQ(options.id, "123");
}

TEST(ParseOptions, UserFolderStandsForDir) {
  const Options options = ParseOk({"--user-folder", "--headless"});
  EXPECT_TRUE(options.user_folder);
  EXPECT_FALSE(options.dir);
  std::string error;
  EXPECT_FALSE(Parse({"--user-folder", "--dir", "/tmp/x", "--headless"}, &error));
  EXPECT_EQ(error, "--dir and --user-folder both name the program folder");
}

TEST(ParseOptions, CommandsTakeTheirFiles) {
  const Options options = ParseOk({"--process", "a.jpg", "b.jpg"});
  EXPECT_EQ(options.command, Command::kProcess);
  EXPECT_EQ(options.files, (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST(ParseOptions, SetIsRepeatableAndSettingsIsACommand) {
  const Options options = ParseOk({"--set", "KeyCode=0D", "--dir", "/d", "--set", "NameFormat=$i"});
  EXPECT_EQ(options.command, Command::kSet);
  EXPECT_EQ(options.assignments, (std::vector<std::string>{"KeyCode=0D", "NameFormat=$i"}));
  EXPECT_EQ(ParseOk({"--settings"}).command, Command::kSettings);
  std::string error;
  EXPECT_FALSE(Parse({"--set", "KeyCode=0D", "--settings"}, &error));
  EXPECT_FALSE(Parse({"--settings", "--set", "KeyCode=0D"}, &error));
  EXPECT_FALSE(Parse({"--set"}, &error));
}

TEST(ParseOptions, NoCommandOpensTheWindow) {
  EXPECT_EQ(ParseOk({"--dir", "/tmp/x"}).command, Command::kWindow);
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
