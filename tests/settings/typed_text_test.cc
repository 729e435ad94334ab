#include "settings/typed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace velmarin {
namespace {

TEST(TypedTextTest, ConvertsAndBoundsInCodePage932Bytes) {
  TypedTextError error{};
  EXPECT_EQ(TypedTextToCp932("$y\\$i06_$r03", kNameFormatMaxBytes, &error), "$y\\$i06_$r03");
  // Three kanji are six bytes in code page 932 (nine in UTF-8).
  EXPECT_EQ(TypedTextToCp932("明朝体", 6, &error), "\x96\xBE\x92\xA9\x91\xCC");
  EXPECT_FALSE(TypedTextToCp932("明朝体", 5, &error));
  EXPECT_EQ(error, TypedTextError::kTooLong);
  EXPECT_TRUE(TypedTextToCp932(std::string(99, 'a'), kNameFormatMaxBytes, &error));
  EXPECT_FALSE(TypedTextToCp932(std::string(100, 'a'), kNameFormatMaxBytes, &error));
}

TEST(TypedTextTest, RefusesWhatCodePage932CannotWrite) {
  TypedTextError error = TypedTextError::kTooLong;
  EXPECT_FALSE(TypedTextToCp932("caf\xC3\xA9 \xEA\xB0\x80", 499, &error));  // é and Hangul
  EXPECT_EQ(error, TypedTextError::kNotCp932);
  error = TypedTextError::kTooLong;
  EXPECT_FALSE(TypedTextToCp932(std::string("a\0b", 3), 499, &error));
  EXPECT_EQ(error, TypedTextError::kNotCp932);
}

}  // namespace
}  // namespace velmarin
