#include "model3d/RippleModel.h"
#include <gtest/gtest.h>
TEST(Model, Placeholder) { EXPECT_EQ(model3d::rippleParams<model3d::ReliefSettings>.layerLength, 0); }
