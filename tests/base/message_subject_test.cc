#include "base/message_subject.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/last_error_text.h"

namespace velmarin {
namespace {

TEST(MessageSubject, ScopesNestPerThreadAndTheLastErrorKeepsItsSubject) {
  LastErrorText errors;
  errors.Set(Cp932Text("before"));
  EXPECT_EQ(errors.Latest().subject, "");
  {
    const ScopedMessageSubject image("/watch/cap12.jpg");
    {
      const ScopedMessageSubject inner("/tmp/other.jpg");
      EXPECT_EQ(MessageSubject(), "/tmp/other.jpg");
    }
    EXPECT_EQ(MessageSubject(), "/watch/cap12.jpg");
    std::thread([] { EXPECT_EQ(MessageSubject(), ""); }).join();
    errors.Set(Cp932Text("JPEG read error! "));
  }
  EXPECT_EQ(MessageSubject(), "");
  const LastErrorText::Entry latest = errors.Latest();
  EXPECT_EQ(latest.text, "JPEG read error! ");
  EXPECT_EQ(latest.subject, "/watch/cap12.jpg");
  EXPECT_EQ(latest.generation, errors.Generation());
  EXPECT_EQ(latest.generation, 2u);
  errors.Clear();
  EXPECT_EQ(errors.Latest().subject, "");
}

TEST(MessageSubject, PrintedLineNamesItsSubject) {
  testing::internal::CaptureStderr();
  PrintMessageLine("/watch/cap12.jpg", "JPEG read error! ");
  PrintMessageLine("", "watch folder not set! ");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "velmarin: /watch/cap12.jpg: JPEG read error! \n"
            "velmarin: watch folder not set! \n");
}

}  // namespace
}  // namespace velmarin
