// main() for test programs: the private environment first, then GoogleTest.
#include "TestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    mgtest::prepareTestEnvironment();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
