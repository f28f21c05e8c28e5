// The main of the native test program: GoogleTest with the start-up date formats, as the
// cross build's test main sets them (no window backend here: nothing native shows one).
#include <gtest/gtest.h>

#include "util/DateTime.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    FixStartupFormats(L':');
    return RUN_ALL_TESTS();
}
