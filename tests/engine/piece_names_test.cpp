#include <gtest/gtest.h>

#include "piece_names.h"

TEST(NumberText, placeholder) { EXPECT_EQ(Int64ToDecimal(10), "10"); }
