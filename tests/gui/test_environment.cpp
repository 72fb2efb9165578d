// What every GUI test run needs around it.

#include <gtest/gtest.h>

#include <memory>

#include "wine_settings.h"

namespace {

class GuiTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override { windows_ = std::make_unique<gui::UnmanagedWindows>(L"Vandrel.exe"); }
    void TearDown() override { windows_.reset(); }

private:
    std::unique_ptr<gui::UnmanagedWindows> windows_;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new GuiTestEnvironment);

}  // namespace
