#include "base/last_error_text.h"

#include <gtest/gtest.h>

namespace velmarin {
namespace {

// Once a still went through, what was said before it is no longer shown, while a note set
// since stays; a reader of the latest text (the headless run's line) still gets what was set.
TEST(LastErrorText, ClearUnlessSetSinceHidesOnlyWhatCameBefore) {
  LastErrorText errors;
  errors.Set(Cp932Text("fopen_error! "));
  const std::uint64_t before = errors.Generation();
  errors.ClearUnlessSetSince(before);
  EXPECT_EQ(errors.Get().bytes(), "");
  EXPECT_EQ(errors.Shown().bytes(), "");
  EXPECT_EQ(errors.Latest().text.bytes(), "fopen_error! ");
  EXPECT_EQ(errors.Latest().generation, before);

  errors.Set(Cp932Text("Corrupt JPEG data"));
  errors.ClearUnlessSetSince(before);
  EXPECT_EQ(errors.Get().bytes(), "Corrupt JPEG data");
}

}  // namespace
}  // namespace velmarin
