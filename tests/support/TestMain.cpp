// The main of every test program: GoogleTest with the headless window backend.
#include <gtest/gtest.h>

#include "TestEnvironment.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    PrepareTestEnvironment();
    return RUN_ALL_TESTS();
}
