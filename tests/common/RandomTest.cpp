#include "common/Random.h"
#include <gtest/gtest.h>
TEST(Random, Placeholder) { EXPECT_EQ(common::randomState, 0u); }
