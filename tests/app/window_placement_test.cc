#include "app/window_placement.h"

#include <gtest/gtest.h>

namespace velmarin::test {
namespace {

using app::WindowPlacement;

TEST(WindowPlacementRecord, IsElevenLittleEndianWordsAndNeedsAllFortyFourBytes) {
  WindowPlacement placement;
  placement.show_cmd = WindowPlacement::kShowMaximized;
  placement.left = 0x01020304;
  placement.bottom = -2;
  const QByteArray bytes = app::EncodePlacement(placement);
  ASSERT_EQ(bytes.size(), 44);
  EXPECT_EQ(bytes.mid(0, 4), QByteArray("\x2C\x00\x00\x00", 4));   // length 44
  EXPECT_EQ(bytes.mid(8, 4), QByteArray("\x03\x00\x00\x00", 4));   // showCmd
  EXPECT_EQ(bytes.mid(12, 4), QByteArray("\xFF\xFF\xFF\xFF", 4));  // minX -1
  EXPECT_EQ(bytes.mid(28, 4), QByteArray("\x04\x03\x02\x01", 4));  // left
  EXPECT_EQ(bytes.mid(40, 4), QByteArray("\xFE\xFF\xFF\xFF", 4));  // bottom -2

  EXPECT_EQ(app::DecodePlacement(bytes), placement);
  // A longer value is read for its first 44 bytes; a shorter one is ignored.
  EXPECT_EQ(app::DecodePlacement(bytes + QByteArray("extra")), placement);
  EXPECT_EQ(app::DecodePlacement(bytes.left(43)), std::nullopt);
  EXPECT_EQ(app::DecodePlacement(QByteArray()), std::nullopt);
}

}  // namespace
}  // namespace velmarin::test
