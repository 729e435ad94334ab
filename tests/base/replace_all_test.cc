#include "base/replace_all.h"

#include <gtest/gtest.h>

#include <string>

namespace velmarin {
namespace {

TEST(ReplaceAllTest, ReplacesEveryOccurrenceOnceAndCounts) {
  struct Case {
    std::string text, pattern, replacement;
    std::size_t count;
    std::string result;
  };
  for (Case c : {
           Case{"a-b-c", "-", "+", 2, "a+b+c"},
           Case{"$x$x", "$x", "$x$x", 2, "$x$x$x$x"},  // the inserted text is not searched again
           Case{"$$yy", "$y", "", 1, "$y"},  // text joined by a removal waits for the next call,
           Case{"$y", "$y", "", 1, ""},      // which sees it
           Case{"abc", "", "x", 0, "abc"},   // an empty pattern changes nothing
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReplaceAll(c.text, c.pattern, c.replacement), c.count);
    EXPECT_EQ(c.text, c.result);
  }
}

}  // namespace
}  // namespace velmarin
