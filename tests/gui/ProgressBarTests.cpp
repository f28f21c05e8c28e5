// The progress bar's range and repaint rules, which both backends share.

#include <gtest/gtest.h>

#include <climits>

#include "gui/Form.h"
#include "gui/ProgressBar.h"
#include "util/Errors.h"

namespace {

struct BarFixture : testing::Test {
    gui::Form form;
    gui::ProgressBar bar;
    void SetUp() override {
        form.Create({.caption = L"bar"});
        bar.Create(form, {.minimum = 0, .maximum = 100, .position = 30});
    }
};

TEST_F(BarFixture, PositionIsClampedToTheRange) {
    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
    bar.SetPosition(250);
    EXPECT_EQ(bar.Position(), 100);
    bar.SetPosition(INT_MIN);
    EXPECT_EQ(bar.Position(), 0);
}

TEST_F(BarFixture, RepaintsOnlyWhenTheWholePercentChanges) {
    ASSERT_NO_THROW(bar.SetMaximum(1000)); // 30 of 1000: 3 %
    int base = bar.RepaintCount();
    struct Step {
        int position;
        bool repaint;
    } steps[] = {
        {39, false},                                          // still 3 %
        {40, true},                                           // 4 %
        {49, false},   {50, true}, {50, false}, {2000, true}, // clamped to 1000: 100 %
        {1000, false}, {-7, true},                            // 0 %
    };
    for (const Step& s : steps) {
        int before = bar.RepaintCount();
        bar.SetPosition(s.position);
        EXPECT_EQ(bar.RepaintCount() - before, s.repaint ? 1 : 0) << "position " << s.position;
    }
    EXPECT_EQ(bar.RepaintCount() - base, 4);
}

TEST_F(BarFixture, MaximumBelowTheMinimumIsRefusedAndChangesNothing) {
    int before = bar.RepaintCount();
    try {
        bar.SetMaximum(-1);
        FAIL() << "no range error";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), L"Value must be between 1 and 2147483647");
    }
    EXPECT_EQ(bar.Maximum(), 100);
    EXPECT_EQ(bar.Position(), 30);
    EXPECT_EQ(bar.RepaintCount(), before);
}

TEST_F(BarFixture, TheRangeTextFollowsTheMinimum) {
    bar.SetMinimum(-50);
    try {
        bar.SetMaximum(-51);
        FAIL() << "no range error";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), L"Value must be between -49 and 2147483647");
    }
    // A maximum equal to the minimum is allowed: an empty range shows 0 %.
    EXPECT_NO_THROW(bar.SetMaximum(-50));
    EXPECT_EQ(bar.Position(), -50);
    EXPECT_EQ(bar.Percent(), 0);
}

TEST_F(BarFixture, SameMaximumDoesNothingANewOneLowersTheProgressAndRepaints) {
    int before = bar.RepaintCount();
    bar.SetMaximum(100);
    EXPECT_EQ(bar.RepaintCount(), before);
    bar.SetMaximum(20);
    EXPECT_EQ(bar.Maximum(), 20);
    EXPECT_EQ(bar.Position(), 20);
    EXPECT_EQ(bar.RepaintCount(), before + 1);
    // Nothing resets the bar: a larger maximum keeps the progress.
    bar.SetMaximum(INT_MAX);
    EXPECT_EQ(bar.Position(), 20);
    EXPECT_EQ(bar.RepaintCount(), before + 2);
}

TEST_F(BarFixture, PercentOfHugeRangesDoesNotOverflow) {
    bar.SetMinimum(INT_MIN);
    bar.SetMaximum(INT_MAX);
    bar.SetPosition(INT_MAX);
    EXPECT_EQ(bar.Percent(), 100);
    bar.SetPosition(-1);
    EXPECT_EQ(bar.Percent(), 49); // (2^31 - 1) * 100 / (2^32 - 1), cut
    bar.SetPosition(0);
    EXPECT_EQ(bar.Percent(), 50);
}

} // namespace
