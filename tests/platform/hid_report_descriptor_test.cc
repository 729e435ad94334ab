#include "platform/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HidReportDescriptorTest, UnnumberedEightByteReportsGiveNineBytes) {
  const Bytes descriptor = {
      0x06, 0x00, 0xFF,                    // usage page (vendor)
      0x09, 0x01,                          // usage
      0xA1, 0x01,                          // collection (application)
      0x15, 0x00,                          // logical minimum 0
      0x26, 0xFF, 0x00,                    // logical maximum 255
      0x75, 0x08,                          // report size 8
      0x95, 0x08,                          // report count 8
      0x09, 0x01, 0x81, 0x02,              // input
      0x95, 0x08, 0x09, 0x01, 0x91, 0x02,  // output
      0xC0,                                // end collection
  };
  const auto layout = ParseHidReportLayout(descriptor);
  ASSERT_TRUE(layout);
  EXPECT_FALSE(layout->numbered);
  EXPECT_EQ(layout->input_report_length, 9);
  EXPECT_EQ(layout->output_report_length, 9);
}

TEST(HidReportDescriptorTest, NumberedReportsTakeTheLongestOfEachDirection) {
  const Bytes descriptor = {
      0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02,  // report 1: 4 input bytes
      0x85, 0x02, 0x95, 0x10, 0x81, 0x02,              // report 2: 16 input bytes
      0x75, 0x01, 0x95, 0x03, 0x91, 0x02,              // report 2: 3 output bits
  };
  const auto layout = ParseHidReportLayout(descriptor);
  ASSERT_TRUE(layout);
  EXPECT_TRUE(layout->numbered);
  EXPECT_EQ(layout->input_report_length, 17);
  EXPECT_EQ(layout->output_report_length, 2);
}

TEST(HidReportDescriptorTest, PushPopAndLongItemsAreFollowed) {
  const Bytes descriptor = {
      0x75, 0x08, 0x95, 0x02,        // 2 bytes
      0xA4,                          // push
      0x95, 0x20,                    // 32 bytes
      0xFE, 0x02, 0x10, 0xAA, 0xBB,  // long item, skipped
      0xB4,                          // pop: back to 2 bytes
      0x91, 0x02,                    // output of 2 bytes
  };
  const auto layout = ParseHidReportLayout(descriptor);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->input_report_length, 0);
  EXPECT_EQ(layout->output_report_length, 3);
}

TEST(HidReportDescriptorTest, MalformedDescriptorsAreRefused) {
  EXPECT_FALSE(ParseHidReportLayout(Bytes{0x75}));
  EXPECT_FALSE(ParseHidReportLayout(Bytes{0x27, 0x01, 0x02}));
  EXPECT_FALSE(ParseHidReportLayout(Bytes{0xB4}));
  EXPECT_FALSE(ParseHidReportLayout(Bytes{0xFE, 0x05, 0x00}));
  EXPECT_TRUE(ParseHidReportLayout(Bytes{}));
}

}  // namespace
}  // namespace velmarin
