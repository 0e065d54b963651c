#include <gtest/gtest.h>

#include "TestSupport.hpp"

using namespace corvane::testing;

TEST(Import, MalformedXmlIsRefused) {
    EXPECT_FALSE(importUrdf("<robot name='x'><link name='a'>"));
}
