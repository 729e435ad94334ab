#include "image/still_format.h"

#include <gtest/gtest.h>

namespace velmarin {
namespace {

TEST(StillFormat, EndsWithAnExtensionOfAStillInAnyCase) {
  EXPECT_EQ(StillFormatOf("a.jpg"), StillFormat::kJpeg);
  EXPECT_EQ(StillFormatOf("A.JpEg"), StillFormat::kJpeg);
  EXPECT_EQ(StillFormatOf("b.BMP"), StillFormat::kBmp);
  EXPECT_EQ(StillFormatOf("c.Png"), StillFormat::kPng);
  for (const char* name : {"a.jpg.txt", "a.jpg.AbC123", "a.jpg.part", "jpg", "a_jpg", ""}) {
    EXPECT_EQ(StillFormatOf(name), StillFormat::kNone) << name;
  }
}

TEST(StillFormat, OfAFileIsOfItsOwnNameNotOfItsFolders) {
  EXPECT_EQ(StillFormatOfFile("/w/x.jpg/a.bmp"), StillFormat::kBmp);
  EXPECT_EQ(StillFormatOfFile("/w/x.jpg/notes"), StillFormat::kNone);
  EXPECT_EQ(StillFormatOfFile("rel/b.JPEG"), StillFormat::kJpeg);
}

}  // namespace
}  // namespace velmarin
