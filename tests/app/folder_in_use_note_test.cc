#include <gtest/gtest.h>

#include "app/window_command.h"

namespace velmarin::test {
namespace {

// Started from the menu while the user service holds ~/Velmarin, the window tells how to stop
// the service; held by anything else, the refusal stays as it is.
TEST(FolderInUseNote, NamesTheServiceAndHowToStopItOnlyWhenTheServiceHoldsTheFolder) {
  const ProgramDir folder{"/home/u/Velmarin", Cp932Text("/home/u/Velmarin")};
  const QString service = app::FolderInUseNote(folder, "velmarin.service", "in use");
  EXPECT_TRUE(service.contains(QStringLiteral("サービスとして動いています")));
  EXPECT_TRUE(service.contains(QStringLiteral("\nsystemctl --user stop velmarin\n")));
  EXPECT_TRUE(service.contains(QStringLiteral("/home/u/Velmarin")));
  EXPECT_EQ(app::FolderInUseNote(folder, std::nullopt, "in use"), "in use");
  EXPECT_EQ(app::FolderInUseNote(folder, "gnome-terminal-server.service", "in use"), "in use");
}

}  // namespace
}  // namespace velmarin::test
