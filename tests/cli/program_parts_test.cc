// The program loads only what a command uses: the light commands run in `velmarin` alone, the
// others in the part of the program that holds their libraries. What a run loaded is what the
// dynamic loader reports (LD_DEBUG=files), dlopen included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/pictures.h"
#include "support/program_process.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

// Libraries of the window, the switch and the chime.
const std::vector<std::string> kStationLibraries = {
    "libQt6Widgets", "libxcb-xtest", "libcanberra", "libasound",
    "libpulse",      "libhidapi",    "libevdev",
};
// Libraries of drawing the stamps, of X, of JPEG and of medical image formats.
const std::vector<std::string> kImageLibraries = {
    "libQt6",      "libX11",  "libxcb", "libxkbcommon", "libfontconfig",
    "libfreetype", "libjpeg", "libdcm", "libofstd",
};

class ProgramPartsTest : public ProgramTest {
 protected:
  // Runs the program; the names of the shared objects it loaded, its exit code checked.
  std::set<std::string> Loaded(const std::vector<std::string>& args) {
    const fs::path log_dir = dir / "loader";
    fs::create_directories(log_dir);
    const ProgramResult run =
        RunProgram(args, {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + (log_dir / "log").string()});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::set<std::string> loaded;
    for (const auto& log : fs::directory_iterator(log_dir)) {
      std::ifstream lines(log.path());
      for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("file=");
        if (at == std::string::npos || line.find("generating link map") == std::string::npos) {
          continue;
        }
        const std::string path = line.substr(at + 5, line.find(' ', at) - at - 5);
        loaded.insert(fs::path(path).filename().string());
      }
      fs::remove(log.path());
    }
    return loaded;
  }

  static std::vector<std::string> Among(const std::set<std::string>& loaded,
                                        const std::vector<std::string>& prefixes) {
    std::vector<std::string> found;
    for (const std::string& name : loaded) {
      for (const std::string& prefix : prefixes) {
        if (name.rfind(prefix, 0) == 0) found.push_back(name);
      }
    }
    return found;
  }
};

TEST_F(ProgramPartsTest, LightCommandsLoadNoLibraryOfImagesOrOfTheStation) {
  const std::string folder = dir.path().string();
  const std::vector<std::vector<std::string>> commands = {
      {"--help"},
      {"--version"},
      {"--dir", folder, "--id", "123", "--next-name"},
      {"--dir", folder, "--settings"},
      {"--dir", folder, "--set", "JpegQuality=90"},
  };
  for (const auto& command : commands) {
    const std::set<std::string> loaded = Loaded(command);
    EXPECT_GE(loaded.size(), 1u) << command.back();  // the C library at least
    EXPECT_EQ(Among(loaded, kImageLibraries), std::vector<std::string>{}) << command.back();
    EXPECT_EQ(Among(loaded, kStationLibraries), std::vector<std::string>{}) << command.back();
  }
}

TEST_F(ProgramPartsTest, ImageCommandsLoadWhatTheStampsNeedAndNoStationLibrary) {
  const fs::path source = dir / "still.jpg";
  WriteJpeg(source, MakeGradientDib(64, 48));
  const std::string folder = dir.path().string();
  const std::vector<std::vector<std::string>> commands = {
      {"--dir", folder, "--process", source.string(), (dir / "out.jpg").string()},
      {"--dir", folder, "--transfer", source.string()},
  };
  for (const auto& command : commands) {
    const std::set<std::string> loaded = Loaded(command);
    EXPECT_EQ(Among(loaded, {"libQt6Gui", "libjpeg", "libfontconfig"}).size(), 3u) << command[2];
    EXPECT_EQ(Among(loaded, kStationLibraries), std::vector<std::string>{}) << command[2];
  }
}

TEST_F(ProgramPartsTest, WithoutItsPartsTheProgramRunsOnlyItsOwnCommands) {
  const fs::path alone = dir / "bin" / "velmarin";
  fs::create_directories(alone.parent_path());
  fs::copy_file(ProgramBinary(), alone);
  const std::string folder = dir.path().string();

  const ProgramResult settings = RunExecutable(alone, {"--dir", folder, "--settings"});
  EXPECT_EQ(settings.exit_code, 0) << settings.err;
  EXPECT_EQ(CountLines(settings.out), 19);

  const ProgramResult process = RunExecutable(alone, {"--dir", folder, "--process", "a", "b"});
  EXPECT_EQ(process.exit_code, 1);
  EXPECT_EQ(process.err.rfind(
                "velmarin: cannot load a part of the program: " + dir.path().string() + "/", 0),
            0u)
      << process.err;
  EXPECT_NE(process.err.find("/velmarin-images.so: "), std::string::npos) << process.err;
  EXPECT_EQ(CountLines(process.err), 1) << process.err;
}

}  // namespace
}  // namespace velmarin::test
