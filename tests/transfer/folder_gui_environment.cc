#include <gtest/gtest.h>

#include "image/gui_context.h"

namespace {

// The real pipeline stamps text, which needs Qt's font database: one QGuiApplication for the
// whole test binary, made on the main thread before the first test.
class FolderGuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { velmarin::EnsureGuiApplication(); }
};

const auto* const kFolderGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new FolderGuiEnvironment);

}  // namespace
