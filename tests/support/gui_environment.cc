#include <gtest/gtest.h>

#include "image/gui_context.h"

namespace {

// Stamps need Qt's font database: one QGuiApplication for the whole test binary, made on
// the main thread before the first test.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { velmarin::EnsureGuiApplication(); }
};

const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
