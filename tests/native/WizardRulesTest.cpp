// The wizard's page moves, button states, exit question, ruled lines and folder text rule.
#include "WizardRules.h"

#include <gtest/gtest.h>

TEST(ResolveTargetPage, ForwardAndBackwardMovesInBothModes)
{
    // current, target, landing in quick mode, landing in advanced mode
    const struct {
        int current, target, quick, advanced;
    } cases[] = {
        {-1, 0, 0, 0}, {0, 1, 1, 1}, {1, 2, 4, 2}, {2, 3, 4, 3}, {3, 4, 4, 4}, {4, 5, 5, 5},
        {1, 0, 0, 0},  {2, 1, 1, 1}, {3, 2, 1, 2}, {4, 3, 1, 3}, {5, 4, 4, 4},
        // Showing the current page again never moves, even on a skipped page.
        {4, 4, 4, 4}, {2, 2, 2, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveTargetPage(c.current, c.target, false), c.quick) << c.current << "->" << c.target;
        EXPECT_EQ(ResolveTargetPage(c.current, c.target, true), c.advanced) << c.current << "->" << c.target;
    }
}

TEST(ComputeWizardButtons, ButtonTablePerPage)
{
    const struct {
        int page;
        bool complete, back, next, nextDefault, install, exitWord;
    } cases[] = {
        {0, false, false, true, true, false, false}, {1, false, true, true, true, false, false},
        {2, false, true, true, true, false, false},   {3, false, true, true, true, false, false},
        {4, false, true, true, true, true, false},    {4, true, false, true, true, false, true},
        {5, true, true, false, false, false, true},
    };
    for (const auto& c : cases) {
        const WizardButtons b = ComputeWizardButtons(c.page, c.complete);
        EXPECT_EQ(b.bBackEnabled, c.back) << c.page;
        EXPECT_EQ(b.bNextEnabled, c.next) << c.page;
        EXPECT_EQ(b.bNextIsDefault, c.nextDefault) << c.page;
        EXPECT_EQ(b.bNextInstalls, c.install) << c.page;
        EXPECT_EQ(b.bExitReadsExit, c.exitWord) << c.page;
    }
}

TEST(ExitNeedsConfirmation, StatusPageAndCompletion)
{
    const struct {
        bool complete;
        int status, page;
        bool ask;
    } cases[] = {
        {false, 0, 0, true},  {false, 2, 3, true},  {false, -1, 0, false}, {false, -1, 4, false},
        {false, 1, 0, false}, {false, 1, 1, true},  {true, 0, 4, false},   {true, 1, 5, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitNeedsConfirmation(c.complete, c.status, c.page), c.ask) << c.status << " page " << c.page;
}

TEST(ComputeRuledLine, DashesAroundTheHeader)
{
    const struct {
        int available, dash, padded;
        bool text;
        int left, right;
    } cases[] = {
        {100, 5, 0, false, 20, 0},  // empty text: a full line
        {100, 5, 40, true, 6, 6},   // even split
        {100, 5, 35, true, 6, 7},   // odd count: the extra dash on the right
        {100, 5, 120, true, 0, 0},  // header wider than the box
        {100, 0, 40, true, 0, 0},   // a dash without width gives no dashes rather than a division by zero
        {100, -3, 0, false, 0, 0},
        {-4, 5, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        const RuledLine line = ComputeRuledLine(c.available, c.dash, c.padded, c.text);
        EXPECT_EQ(line.nLeft, c.left) << c.available << "/" << c.dash << "/" << c.padded;
        EXPECT_EQ(line.nRight, c.right) << c.available << "/" << c.dash << "/" << c.padded;
    }
}

TEST(IsRootedFolderText, DrivesAndSharesOnly)
{
    for (const char* rooted : {"C:\\", "c:\\Program Files\\Plankora", "D:/x", "\\\\server\\share", "\\\\srv\\s\\dir"})
        EXPECT_TRUE(IsRootedFolderText(rooted)) << rooted;
    for (const char* relative : {"", "Plankora", "C:", "C:Plankora", "\\Plankora", "\\\\", "\\\\server",
                                 "\\\\server\\", "\\\\\\share", "1:\\x", ".\\x"})
        EXPECT_FALSE(IsRootedFolderText(relative)) << relative;
}
