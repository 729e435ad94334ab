#include "naming/template_expansion.h"
#include "support/cp932_text_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace velmarin {
namespace {

// 28 September 2012, 14:05:09.
constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

TEST(ExpandTemplateTest, DefaultTemplate) {
  EXPECT_EQ(ExpandTemplate(Cp932Text("123"), Cp932Text("$y\\$i06_$y$M$d_$r03"), kNow),
            "2012\\000123_20120928_$r03");
}

TEST(ExpandTemplateTest, DateAndTimeFieldsArePadded) {
  EXPECT_EQ(
      ExpandTemplate(Cp932Text(""), Cp932Text("$y-$M-$d $h:$m:$s"), LocalTime{987, 1, 2, 3, 4, 5}),
      "0987-01-02 03:04:05");
  EXPECT_EQ(ExpandTemplate(Cp932Text(""), Cp932Text("$y-$M-$d $h:$m:$s"), kNow),
            "2012-09-28 14:05:09");
}

TEST(ExpandTemplateTest, PlaceholdersAreCaseSensitive) {
  EXPECT_EQ(ExpandTemplate(Cp932Text(""), Cp932Text("$M$m$Y$D$H$S$x$"), kNow), "0905$Y$D$H$S$x$");
}

TEST(ExpandTemplateTest, SerialPassesThroughUnchanged) {
  EXPECT_EQ(ExpandTemplate(Cp932Text("7"), Cp932Text("No.$r03"), kNow), "No.$r03");
}

struct IdCase {
  std::string id;
  std::string templ;
  std::string expected;
};

class ExpandIdTest : public testing::TestWithParam<IdCase> {};

TEST_P(ExpandIdTest, FitsTheIdToTheWidth) {
  const IdCase& c = GetParam();
  EXPECT_EQ(ExpandTemplate(Cp932Text(c.id), Cp932Text(c.templ), kNow), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ExpandIdTest,
    testing::Values(IdCase{"123", "$i06", "000123"},     // numeric: zeros in front
                    IdCase{"", "$i06", "000000"},        // empty counts as numeric
                    IdCase{"AB12", "$i06", "AB12__"},    // other: underscores behind
                    IdCase{"12a45678", "$i04", "12a4"},  // cut; already full width
                    IdCase{"1234567", "$i04", "1234"},   // cut to the width
                    // "ＡＢ" in code page 932: never cut inside a character, padded instead
                    IdCase{"\x82\x60\x82\x61", "$i03", "\x82\x60_"},
                    IdCase{"12a", "$i00", "12a"},             // width 0: unchanged
                    IdCase{"", "[$i00]", "[]"},               // width 0 and empty
                    IdCase{"5", "$i02-$i02", "05-05"},        // every occurrence
                    IdCase{"5", "$i02-$i03", "05-$i03"},      // only the first decides
                    IdCase{"5", "$i-$i06", "$i-$i06"},        // bare: width 10, nothing
                    IdCase{"5", "$ix$i10", "$ix0000000005"},  // bare: width 10 pattern
                    IdCase{"5", "$i1", "$i1"},                // one digit at the end
                    IdCase{"5", "$i", "$i"},                  // nothing behind
                    IdCase{"x$y", "$i00", "x2012"},           // the ID gets the date
                    IdCase{"1", "$i99", std::string(98, '0') + "1"}));

TEST(ExpandTemplateTest, LeavesTheCallersIdAlone) {
  const std::string id = "42";
  ExpandTemplate(Cp932Text(id), "$i06", kNow);
  EXPECT_EQ(id, "42");
}

TEST(ExpandTemplateTest, KeepsTwoByteCharactersIntact) {
  // "表" ends in 0x5C and "ソ" in 0x5C: template bytes other than placeholders pass unchanged.
  const std::string templ = "\x95\x5C$y\x83\x5C$i03";
  EXPECT_EQ(ExpandTemplate(Cp932Text("9"), Cp932Text(templ), kNow),
            "\x95\x5C"
            "2012\x83\x5C"
            "009");
}

}  // namespace
}  // namespace velmarin
