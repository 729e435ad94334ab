#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "app/widget_helpers.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"
#include "support/xvfb_server.h"
#include "x_window_driver.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Keysyms (X11/keysymdef.h), spelled here to keep Xlib out of the test.
constexpr std::uint32_t kKeyReturn = 0xFF0D;
constexpr std::uint32_t kKeyAltL = 0xFFE9;
constexpr std::uint32_t kKeyF = 'f';
constexpr std::uint32_t kKeyX = 'x';

std::vector<fs::path> JpegsUnder(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().extension() == ".jpg") found.push_back(it->path());
  }
  return found;
}

// The real program's window on `server`, in the program folder `dir`, shown and focused.
// On the xcb platform the program runs threads of uninstrumented libraries (the session bus,
// the sound server); the leak check's stop of all threads at exit can crash among them, so
// these runs check memory errors only. Leaks are checked by the in-process window tests.
struct ShownWindow {
  ShownWindow(const XvfbServer& server, const fs::path& dir, std::vector<std::string> arguments)
      : program(WithFolder(dir, std::move(arguments)), dir,
                {"DISPLAY=" + server.display_name(),
                 "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=" + (dir / "config").string(),
                 "XDG_STATE_HOME=" + (dir / "state").string(), "ASAN_OPTIONS=detect_leaks=0"}),
        x(server.display_name()) {}

  static std::vector<std::string> WithFolder(const fs::path& dir, std::vector<std::string> more) {
    more.insert(more.begin(), {"--dir", dir.string()});
    return more;
  }

  // False, with the reason recorded by gtest, when the window did not show.
  bool Show() {
    EXPECT_TRUE(x.connected());
    if (!x.connected()) return false;
    EXPECT_TRUE(WaitFor([&] { return (window = x.FindWindow("Velmarin V4.0")); }, 30s))
        << program.err();
    if (window == 0 || !WaitFor([&] { return x.Viewable(window); }, 10s)) return false;
    x.Focus(window);
    return true;
  }

  BackgroundProgram program;
  XWindowDriver x;
  unsigned long window = 0;
};

// A still the capture program has begun writing and not yet closed.
class HalfWrittenStill {
 public:
  explicit HalfWrittenStill(const fs::path& path)
      : jpeg_(JpegBytes(640, 480, 3)), out_(path, std::ios::binary) {
    out_.write(jpeg_.data(), static_cast<std::streamsize>(jpeg_.size() / 2));
    out_.flush();
  }
  // The rest written, and the file closed.
  void Finish() {
    out_.write(jpeg_.data() + jpeg_.size() / 2,
               static_cast<std::streamsize>(jpeg_.size() - jpeg_.size() / 2));
    out_.close();
  }

 private:
  const std::string jpeg_;
  std::ofstream out_;
};

// A station on a private X server, in the program folder `dir`, without a switch: stills
// from "watch" go to "out".
class WindowEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto xvfb = XvfbServer::FindBinary();
    if (!xvfb) GTEST_SKIP() << "Xvfb is not installed";
    server_.emplace(*xvfb, dir / "xvfb.log");
    ASSERT_FALSE(server_->display_name().empty()) << server_->error();
    fs::create_directories(dir / "watch");
    WriteSettingsFile({dir.path(), Cp932Text(dir.path().string())}, [&](Settings& s) {
      s[SettingSlot::SwitchDevice] = Cp932Text("NONE");
      s[SettingSlot::WatchFolder] = Cp932Text((dir / "watch").string());
      s[SettingSlot::TransferFolder] = Cp932Text((dir / "out").string());
    });
  }

  // The real program's window, started with `arguments`; false when it did not show.
  bool Show(std::vector<std::string> arguments) {
    shown_ = std::make_unique<ShownWindow>(*server_, dir.path(), std::move(arguments));
    return shown_->Show();
  }
  // The window started with --id `id` and Enter pressed: it monitors, its title "ID-0".
  ::testing::AssertionResult StartMonitoring(const std::string& id) {
    if (!Show({"--id", id})) return ::testing::AssertionFailure() << "the window did not show";
    x().Type({{kKeyReturn}});
    if (WaitFor([&] { return x().Title(window()) == id + "-0"; }, 10s)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "title " << x().Title(window());
  }

  BackgroundProgram& program() { return shown_->program; }
  XWindowDriver& x() { return shown_->x; }
  unsigned long window() const { return shown_->window; }

  TempDir dir;

 private:
  std::optional<XvfbServer> server_;
  std::unique_ptr<ShownWindow> shown_;
};

// The real program on a private X server: an ID typed and Enter pressed, an image saved by
// "the capture program", the title counting it, the image in the transfer folder, and the
// exit command leaving the placement and the settings behind.
TEST_F(WindowEndToEnd, TypedIdEnterOneImageAndExitThroughTheMenu) {
  ASSERT_TRUE(Show({}));
  BackgroundProgram& program = this->program();
  XWindowDriver& x = this->x();
  const unsigned long window = this->window();
  std::vector<XWindowDriver::Key> keys;
  for (const char digit : std::string("123456"))
    keys.push_back({static_cast<std::uint32_t>(digit)});
  keys.push_back({kKeyReturn});
  x.Type(keys);
  ASSERT_TRUE(WaitFor([&] { return x.Title(window) == "123456-0"; }, 10s))
      << x.Title(window) << "\n"
      << program.err();

  // The capture program saves a still once the stills present are known; it appears whole, by
  // a rename.
  ASSERT_TRUE(program.WaitForErr("watching " + (dir / "watch").string(), 30s));
  WriteFileBytes(dir / "watch" / "capture.tmp", JpegBytes(640, 480, 7));
  fs::rename(dir / "watch" / "capture.tmp", dir / "watch" / "still.jpg");
  EXPECT_TRUE(WaitFor([&] { return x.Title(window) == "123456-1"; }, 10s)) << x.Title(window);
  ASSERT_TRUE(WaitFor([&] { return JpegsUnder(dir / "out").size() == 1; }, 10s));
  EXPECT_NE(JpegsUnder(dir / "out")[0].filename().string().find("123456"), std::string::npos);

  // "終了(&X)" through the File menu's mnemonics, once the menu is open.
  x.Focus(window);
  x.Type({{kKeyF, kKeyAltL}});
  ASSERT_TRUE(WaitFor([&] { return x.PopupShown(); }, 10s)) << "the File menu did not open";
  x.Type({{kKeyX}});
  const std::optional<int> exit_code = program.WaitForExit(30s);
  ASSERT_TRUE(exit_code) << "the program did not end";
  EXPECT_EQ(*exit_code, 0) << program.err();

  EXPECT_TRUE(fs::exists(dir / "velmarin.ini"));
  EXPECT_TRUE(app::PlacementStored(dir / "state"));
  EXPECT_FALSE(fs::exists(dir / "config" / "velmarin" / "velmarin.conf"));
}

// The window closed (a logout's SIGTERM) while a still is being written: the window goes on
// answering while the folder thread waits for the writer's close, and the still arrives whole
// before the program ends.
TEST_F(WindowEndToEnd, CloseWhileAStillIsBeingFinishedKeepsTheWindowAliveAndTransfersIt) {
  ASSERT_TRUE(StartMonitoring("77"));
  BackgroundProgram& program = this->program();
  XWindowDriver& x = this->x();
  const unsigned long window = this->window();
  ASSERT_TRUE(program.WaitForErr("watching " + (dir / "watch").string(), 30s));

  HalfWrittenStill still(dir / "watch" / "still.jpg");
  program.Signal(SIGTERM);
  // The window's timer names the still it waits for: the window still runs, and the folder
  // thread waits for the capture program to close the still.
  ASSERT_TRUE(program.WaitForErr("finishing still.jpg", 10s)) << program.err();
  EXPECT_TRUE(x.Viewable(window));
  EXPECT_TRUE(JpegsUnder(dir / "out").empty());
  still.Finish();

  const auto exit_code = program.WaitForExit(30s);
  ASSERT_TRUE(exit_code) << "the program did not end";
  EXPECT_EQ(*exit_code, 0) << program.err();
  ASSERT_EQ(JpegsUnder(dir / "out").size(), 1u) << program.err();
  EXPECT_NE(JpegsUnder(dir / "out")[0].filename().string().find("77"), std::string::npos);
}

// A still that cannot be read does not pass for a good one: the count leaves it out and the
// next good still counts and shows again. Closing is final: Enter (a foot switch's key, a
// barcode reader's last key) while the window finishes a still starts nothing again, and the
// program ends once the still is in.
TEST_F(WindowEndToEnd, AFailedStillIsNotCountedAndEnterWhileClosingStartsNothing) {
  ASSERT_TRUE(StartMonitoring("77"));
  BackgroundProgram& program = this->program();
  XWindowDriver& x = this->x();
  const unsigned long window = this->window();
  const std::string watching = "watching " + (dir / "watch").string();
  ASSERT_TRUE(program.WaitForErr(watching, 30s));

  const auto save = [&](const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir / "watch" / "capture.tmp", bytes);
    fs::rename(dir / "watch" / "capture.tmp", dir / "watch" / name);
  };
  save("broken.bmp", "not a picture");
  EXPECT_TRUE(WaitFor([&] { return x.Title(window) == "BMP file read error! "; }, 10s))
      << x.Title(window);
  save("good.jpg", JpegBytes(640, 480, 1));
  EXPECT_TRUE(WaitFor([&] { return x.Title(window) == "77-1"; }, 10s)) << x.Title(window);

  HalfWrittenStill still(dir / "watch" / "still.jpg");
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.WaitForErr("finishing still.jpg", 10s)) << program.err();
  x.Focus(window);
  x.Type({{kKeyReturn}});
  ASSERT_TRUE(x.RoundTrip(window, 10s)) << "the window did not answer";
  still.Finish();

  const auto exit_code = program.WaitForExit(30s);
  ASSERT_TRUE(exit_code) << "the program did not end:\n" << program.err();
  EXPECT_EQ(*exit_code, 0) << program.err();
  const std::string err = program.err();
  EXPECT_EQ(err.find(watching), err.rfind(watching)) << "monitoring started again:\n" << err;
  EXPECT_EQ(JpegsUnder(dir / "out").size(), 2u) << err;
}

}  // namespace
}  // namespace velmarin::test
