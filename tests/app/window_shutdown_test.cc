#include <QTest>

#include <filesystem>
#include <fstream>

#include "app/control_panel.h"
#include "settings/settings_file.h"
#include "window_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

// Closed while the capture program still writes a still, the window waits for the writer's
// close; closed again, it ends at once, with the settings saved and the still left in the
// watch folder for the next run.
TEST_F(WindowTest, SecondCloseWhileAStillIsBeingWrittenEndsTheShutdownAtOnce) {
  Window().panel()->StartWithId();
  ASSERT_TRUE(WatchFolderLookedAt());
  std::ofstream writer(dir_ / "open.jpg", std::ios::binary);
  writer << "the first half";
  writer.flush();
  session_->state().SetSlot(SettingSlot::JpegQuality, Cp932Text("77"));

  Window().close();
  ASSERT_TRUE(QTest::qWaitFor([this] { return session_->CurrentImage().has_value(); }, 10000));
  EXPECT_EQ(session_->CurrentImage()->filename(), "open.jpg");
  EXPECT_FALSE(Window().shut_down());

  Window().close();
  // Well within the ten seconds a writer is waited for.
  EXPECT_TRUE(QTest::qWaitFor([this] { return Window().shut_down(); }, 3000));
  OwnMessage warning;
  EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::JpegQuality], "77");
  EXPECT_TRUE(fs::exists(dir_ / "open.jpg"));
  EXPECT_TRUE(fs::exists(dir_ / "velmarin.journal"));
}

}  // namespace
}  // namespace velmarin::test
