#include "platform/keyboard_layout.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include "support/temp_dir.h"

namespace velmarin {
namespace {

TEST(KeyboardLayoutTest, NamesComeFromTheSystemFileQuotedOrNot) {
  test::TempDir dir;
  const auto file = dir.path() / "keyboard";
  test::WriteFileBytes(file,
                       "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"jp106\"\nXKBLAYOUT=jp\n"
                       "XKBVARIANT=\"\"\nXKBOPTIONS='ctrl:nocaps'\n\nBACKSPACE=\"guess\"\n");
  const KeyboardLayoutNames names = ReadKeyboardLayoutNames(file);
  EXPECT_EQ(names.model, "jp106");
  EXPECT_EQ(names.layout, "jp");
  EXPECT_EQ(names.variant, "");
  EXPECT_EQ(names.options, "ctrl:nocaps");

  EXPECT_EQ(ReadKeyboardLayoutNames(dir.path() / "missing").layout, "us");
}

TEST(KeyboardLayoutTest, CharactersAreFoundWhereTheLayoutPutsThem) {
  KeyboardLayoutNames german;
  german.layout = "de";
  const KeyboardLayoutKeys keys(german);
  ASSERT_TRUE(keys.compiled());
  EXPECT_EQ(keys.KeyFor(0x5A)->evdev_key, KEY_Y);  // "z" where a US keyboard has Y
  EXPECT_EQ(keys.KeyFor(0x41)->evdev_key, KEY_A);
  EXPECT_FALSE(keys.KeyFor(0x41)->shift);
  EXPECT_EQ(keys.KeyFor(0x30)->evdev_key, KEY_0);
  EXPECT_FALSE(keys.KeyFor(0x0D).has_value());  // not a character: mapped directly

  KeyboardLayoutNames unknown;
  unknown.layout = "no-such-layout";
  EXPECT_FALSE(KeyboardLayoutKeys(unknown).KeyFor(0x41).has_value());
}

}  // namespace
}  // namespace velmarin
