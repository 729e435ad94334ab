#include "transfer/claimed_target.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace velmarin {
namespace {

// Journals written by earlier versions name their images by this hash: it must not change.
TEST(ContentHashTest, IsTheSha256OfTheBytesInHexadecimal) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "abc.jpg", "abc");
  EXPECT_EQ(ContentHash(dir / "abc.jpg"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Longer than one read: 200,000 bytes of "a".
  test::WriteFileBytes(dir / "long.jpg", std::string(200'000, 'a'));
  EXPECT_EQ(ContentHash(dir / "long.jpg"),
            "2287d207f24a941ff3b56c04c8a25ad56b63e3023207b3bb5b4ac0c9869d74be");
  EXPECT_EQ(ContentHash(dir / "missing.jpg"), std::nullopt);
}

}  // namespace
}  // namespace velmarin
