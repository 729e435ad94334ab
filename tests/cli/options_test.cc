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

TEST(ParseOptions, ValuesMayFollowAnEqualsSign) {
  const Options options = ParseOk({"--dir=/tmp/x y", "--id=", "--set=KeyCode=0D"});
  EXPECT_EQ(options.dir, "/tmp/x y");
  EXPECT_EQ(options.id, "");
  EXPECT_EQ(options.assignments, std::vector<std::string>{"KeyCode=0D"});
  EXPECT_EQ(ParseOk({"--process=a.jpg", "b.jpg"}).files,
            (std::vector<std::string>{"a.jpg", "b.jpg"}));
  EXPECT_EQ(ParseOk({"--transfer=a.jpg"}).files, std::vector<std::string>{"a.jpg"});
  // A value that looks like an option is still the value.
  EXPECT_EQ(ParseOk({"--id", "--headless"}).id, "--headless");
  EXPECT_EQ(ParseOk({"-h"}).command, Command::kHelp);
}

TEST(ParseOptions, RefusesUsageErrors) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--process", "a.jpg"}, "--process needs 2 file(s)"},
      {{"--transfer"}, "--transfer needs 1 file(s)"},
      {{"--next-name", "--headless"}, "only one command at a time: --headless"},
      {{"-h", "--set", "a=b"}, "only one command at a time: --set"},
      {{"--dir"}, "--dir needs a value"},
      {{"--set"}, "--set needs a value"},
      {{"--bogus"}, "unknown argument: --bogus"},
      {{"--headless=1"}, "unknown argument: --headless=1"},
      {{"-hx"}, "unknown argument: -hx"},
      {{"--headless", "stray"}, "unknown argument: stray"},
  };
  for (const auto& [args, expected] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << expected;
    EXPECT_EQ(error, expected);
  }
}

}  // namespace
}  // namespace velmarin::cli
