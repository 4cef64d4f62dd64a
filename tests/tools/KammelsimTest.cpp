#include "tools/Kammelsim.h"
#include <gtest/gtest.h>
TEST(Kammelsim, Placeholder) { SUCCEED(); }
