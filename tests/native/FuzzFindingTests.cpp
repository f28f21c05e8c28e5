// What the fuzz targets found, kept as plain cases (the inputs also stay in the corpus).

#include <gtest/gtest.h>

#include "ftp/FtpProtocol.h"

namespace {

TEST(FuzzFinding, AnMlsdSizeFactIsDigitsOnly) {
    struct Case {
        const char* line;
        std::int64_t size;
    } cases[] = {
        {"size=-9", -1},  {"size=-1; a", -1}, {"size=+5; a", -1},
        {"size=0; a", 0}, {"size=12; a", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseMlsdLine(c.line).Size, c.size) << c.line;
}

} // namespace
