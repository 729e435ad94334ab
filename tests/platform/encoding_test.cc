#include "platform/encoding.h"
#include "support/cp932_text_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace velmarin {
namespace {

using Text = std::optional<std::string>;

TEST(EncodingTest, JapaneseTextRoundTrips) {
  for (const std::string utf8 :
       {"監視フォルダ:", "ＭＳ 明朝", "HG創英角ｺﾞｼｯｸUB",
        "転送画像のJpg画質(1-100):", "/home/撮影/hozon", "", "plain ASCII 0-9 $y\\$i06"}) {
    const auto cp932 = Utf8ToCp932(utf8);
    ASSERT_TRUE(cp932.has_value()) << utf8;
    EXPECT_EQ(Cp932ToUtf8(Cp932Text(*cp932)), Text(utf8));
  }
}

TEST(EncodingTest, KnownBytes) {
  EXPECT_EQ(Utf8ToCp932("表"), Text("\x95\x5C"));
  EXPECT_EQ(Utf8ToCp932("ｱ"), Text("\xB1"));  // half-width katakana: one byte
  EXPECT_EQ(Utf8ToCp932("～"), Text("\x81\x60"));
  // The backslash stays a backslash: templates use it as the folder separator.
  EXPECT_EQ(Cp932ToUtf8(Cp932Text("$y\\$i06")), Text("$y\\$i06"));
  EXPECT_EQ(Cp932ToUtf8(Cp932Text("\x82\xA0")), Text("あ"));
}

TEST(EncodingTest, RefusesTextOutsideCodePage932) {
  EXPECT_EQ(Utf8ToCp932("photo \xF0\x9F\x98\x80"), Text());  // an emoji
  EXPECT_EQ(Utf8ToCp932("한국어"), Text());                  // Hangul
}

TEST(EncodingTest, RefusesCharactersThatWouldReadBackAsOthers) {
  EXPECT_EQ(Utf8ToCp932("/data/\u00A5/hozon"), Text());  // yen sign, not a backslash
  EXPECT_EQ(Utf8ToCp932("a\u203Eb"), Text());            // overline, not a tilde
  EXPECT_EQ(Utf8ToCp932("1\u301C9"), Text());            // wave dash, not the full-width tilde
  EXPECT_EQ(Utf8ToCp932("a\u2212b"), Text());            // minus sign, not the full-width minus
  EXPECT_EQ(Utf8ToCp932("1\uFF5E9"), Text("1\x81\x60"
                                          "9"));
}

TEST(EncodingTest, RefusesInvalidInput) {
  EXPECT_EQ(Utf8ToCp932("ab\xC3\x28"), Text());  // broken UTF-8 sequence
  EXPECT_EQ(Utf8ToCp932("ab\xE3\x81"), Text());  // cut UTF-8 sequence
  EXPECT_EQ(Utf8ToCp932("\xFF"), Text());
  EXPECT_EQ(Cp932ToUtf8(Cp932Text("ab\x82")), Text());    // lone lead byte at the end
  EXPECT_EQ(Cp932ToUtf8(Cp932Text("\x82\x20")), Text());  // lead byte without a valid second byte
  EXPECT_EQ(Cp932ToUtf8(Cp932Text("\xA0")), Text());      // unassigned single byte
}

// Text for drawing: what does not convert is shown as "?", one for each character.
TEST(EncodingTest, ReplacingConversionShowsEachBadCharacterAsAQuestionMark) {
  int replaced = -1;
  EXPECT_EQ(Cp932ToUtf8Replacing(Cp932Text("ID:\x82\xA0 ok"), &replaced), "ID:あ ok");
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(Cp932ToUtf8Replacing(Cp932Text("a\xA0"
                                           "b\x82\x20"
                                           "c\x82"),
                                 &replaced),
            "a?b? c?");
  EXPECT_EQ(replaced, 3);  // unassigned byte; lead byte before a blank; lone lead at the end
  // "あ" edited in as UTF-8 (E3 81 82): a pair, then a lead byte with nothing after it.
  const std::string drawn = Cp932ToUtf8Replacing(Cp932Text("ID \xE3\x81\x82"), &replaced);
  EXPECT_EQ(drawn.substr(0, 3), "ID ");
  EXPECT_EQ(drawn.back(), '?');
  EXPECT_EQ(replaced, 1);
  EXPECT_EQ(Cp932ToUtf8Replacing(Cp932Text(""), &replaced), "");
}

// File names go onto the bus, whose strings must be UTF-8: each bad byte becomes U+FFFD.
TEST(EncodingTest, Utf8ReplacingKeepsGoodTextAndReplacesEachBadByte) {
  EXPECT_EQ(Utf8Replacing("/撮影/cap1.jpg"), "/撮影/cap1.jpg");
  EXPECT_EQ(Utf8Replacing("a\x82\xA0"
                          "b"),
            "a\uFFFD\uFFFD"
            "b");  // a Shift-JIS name
  EXPECT_EQ(Utf8Replacing("\xE3\x81"
                          "c"),
            "\uFFFD\uFFFD"
            "c");                                                  // a cut sequence
  EXPECT_EQ(Utf8Replacing("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_EQ(Utf8Replacing("\xC0\xAF"), "\uFFFD\uFFFD");            // an overlong "/"
  EXPECT_EQ(Utf8Replacing(""), "");
}

TEST(EncodingTest, LongTextConvertsWhole) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "撮影";
  const auto cp932 = Utf8ToCp932(utf8);
  ASSERT_TRUE(cp932.has_value());
  EXPECT_EQ(cp932->size(), 20000u);
  EXPECT_EQ(Cp932ToUtf8(Cp932Text(*cp932)), Text(utf8));
}

}  // namespace
}  // namespace velmarin
