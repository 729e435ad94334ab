#include "base/scanf_reader.h"

#include <gtest/gtest.h>

#include <climits>

namespace velmarin {
namespace {

TEST(ScanfReaderTest, DecimalReadsLikePercentD) {
  EXPECT_EQ(ScanDecimal("300"), 300);
  EXPECT_EQ(ScanDecimal("  \t\n\v\f\r42px"), 42);
  EXPECT_EQ(ScanDecimal("+7"), 7);
  EXPECT_EQ(ScanDecimal("-250"), -250);
  EXPECT_EQ(ScanDecimal("99999999999999999999"), INT_MAX);
  EXPECT_EQ(ScanDecimal("-99999999999999999999"), INT_MIN);
  EXPECT_EQ(ScanDecimal("-2147483648"), INT_MIN);
  EXPECT_EQ(ScanDecimal(""), std::nullopt);
  EXPECT_EQ(ScanDecimal("x1"), std::nullopt);
  EXPECT_EQ(ScanDecimal("-"), std::nullopt);
  EXPECT_EQ(ScanDecimal("- 1"), std::nullopt);
  EXPECT_EQ(ScanDecimal("+ 5"), std::nullopt);
}

TEST(ScanfReaderTest, HexadecimalReadsLikePercentX) {
  EXPECT_EQ(ScanfReader(" ff").Hexadecimal(), 0xFFu);
  EXPECT_EQ(ScanfReader("0x1A2b").Hexadecimal(), 0x1A2Bu);
  EXPECT_EQ(ScanfReader("0xg").Hexadecimal(), 0u);  // "0" read, "xg" left
  EXPECT_EQ(ScanfReader("-1").Hexadecimal(), 0xFFFFFFFFu);
  EXPECT_EQ(ScanfReader("123456789abc").Hexadecimal(), 0xFFFFFFFFu);
  EXPECT_EQ(ScanfReader("g").Hexadecimal(), std::nullopt);
}

TEST(ScanfReaderTest, LiteralsMatchWithoutSkippingSpace) {
  ScanfReader reader("1, 2,3");
  EXPECT_EQ(reader.Decimal(), 1);
  EXPECT_TRUE(reader.Literal(','));
  EXPECT_EQ(reader.Decimal(), 2);  // the blank before 2 is skipped by %d
  EXPECT_FALSE(reader.Literal(' '));
  EXPECT_TRUE(reader.Literal(','));
  EXPECT_EQ(reader.Decimal(), 3);
  EXPECT_FALSE(reader.Literal(','));
  EXPECT_EQ(reader.Decimal(), std::nullopt);
}

}  // namespace
}  // namespace velmarin
