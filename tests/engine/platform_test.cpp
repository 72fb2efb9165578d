// What every platform layer promises alike, tried on the real one.

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "file_system.h"

namespace {

class Platform : public EngineTest {};

// Each call answers for itself: a "no" from exists() is no failure, and a
// later call that succeeds carries no earlier reason, which a job reading
// lastError() after a failure of its own checks would otherwise report.
TEST_F(Platform, ReasonsBelongToTheCallThatFailed)
{
    FileSystem& files = platformFileSystem();
    EXPECT_FALSE(files.exists(path("missing.bin")));
    EXPECT_EQ(files.lastError(), "");
    EXPECT_FALSE(files.openForReading(path("missing.bin")));
    EXPECT_NE(files.lastError(), "");
    WriteFileBytes(path("there.bin"), "x");
    std::unique_ptr<File> file = files.openForReading(path("there.bin"));
    ASSERT_TRUE(file);
    EXPECT_EQ(files.lastError(), "");
    EXPECT_EQ(file->size(), 1);
    EXPECT_EQ(files.lastError(), "");
}

}  // namespace
