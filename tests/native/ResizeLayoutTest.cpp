// Resizable dialogs: the half-step carries and the anchor flags applied to rectangles.
#include "FolderPathText.h"
#include "ResizeLayout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// Half-steps of a sequence of changes, starting with no carry.
std::vector<int32_t> HalfSteps(const std::vector<int32_t>& deltas)
{
    int32_t carry = 0;
    std::vector<int32_t> steps;
    for (int32_t d : deltas)
        steps.push_back(HalfStep(d, carry));
    return steps;
}

TEST(HalfStep, Sequences)
{
    const struct {
        std::vector<int32_t> deltas;
        std::vector<int32_t> steps;
    } cases[] = {
        {{5, 3}, {2, 2}},    {{-3, -1}, {-1, -1}}, {{4, -6}, {2, -3}},   {{1, 1, 1, 1}, {0, 1, 0, 1}},
        {{3, -3}, {1, -1}},  {{-1, 1}, {0, 0}},    {{7, 2, 1}, {3, 1, 1}}, {{-5, -5, -5}, {-2, -3, -2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HalfSteps(c.deltas), c.steps) << ::testing::PrintToString(c.deltas);
}

TEST(HalfStep, NeverDriftsMoreThanOnePixel)
{
    int32_t carry = 0, total = 0, sum = 0;
    for (int32_t d : {5, -7, 3, 3, -1, 9, -11, 1, 1, -13, 2, 7}) {
        sum += HalfStep(d, carry);
        total += d;
        EXPECT_LE(std::abs(2 * sum - total), 1) << "after " << d;
        EXPECT_TRUE(carry >= -1 && carry <= 1);
    }
}

TEST(ApplyAnchor, Flags)
{
    const LayoutRect rc{10, 20, 110, 45};
    // dx 8, dy 6, half-dx 4, half-dy 3.
    const struct {
        uint32_t flags;
        LayoutRect expected;
        bool moved, resized;
    } cases[] = {
        {0, {10, 20, 110, 45}, false, false},
        {RSZ_MOVE_X, {18, 20, 118, 45}, true, false},
        {RSZ_MOVE_Y | RSZ_MOVE_HALF_X, {14, 26, 114, 51}, true, false},
        {RSZ_MOVE_X | RSZ_MOVE_HALF_X, {18, 20, 118, 45}, true, false},  // the full move wins
        {RSZ_MOVE_HALF_Y, {10, 23, 110, 48}, true, false},
        {RSZ_SIZE_X | RSZ_SIZE_Y, {10, 20, 118, 51}, false, true},
        {RSZ_SIZE_HALF_X | RSZ_SIZE_HALF_Y, {10, 20, 114, 48}, false, true},
        {RSZ_SIZE_Y | RSZ_SIZE_HALF_Y, {10, 20, 110, 51}, false, true},
        {RSZ_MOVE_X | RSZ_SIZE_X, {18, 20, 126, 45}, true, true},  // right edge moves twice dx
        {RSZ_MOVE_X | RSZ_MOVE_Y, {18, 26, 118, 51}, true, false},
    };
    for (const auto& c : cases) {
        const AnchoredRect out = ApplyAnchor(rc, c.flags, 8, 6, 4, 3);
        EXPECT_EQ(out.rect.left, c.expected.left) << c.flags;
        EXPECT_EQ(out.rect.top, c.expected.top) << c.flags;
        EXPECT_EQ(out.rect.right, c.expected.right) << c.flags;
        EXPECT_EQ(out.rect.bottom, c.expected.bottom) << c.flags;
        EXPECT_EQ(out.bMoved, c.moved) << c.flags;
        EXPECT_EQ(out.bResized, c.resized) << c.flags;
    }
}

TEST(CountLayoutRows, UpToTheGripRow)
{
    const RESIZE_ENTRY one[] = {{IDC_SIZEGRIP, 3}};
    const RESIZE_ENTRY four[] = {{50001, 0x10}, {1, 6}, {2, 6}, {IDC_SIZEGRIP, 3}, {7, 0}};
    EXPECT_EQ(CountLayoutRows(one), 1);
    EXPECT_EQ(CountLayoutRows(four), 4);
}

TEST(FolderPathText, SubFolderTestIsCaseSensitiveAndNeedsNoSeparator)
{
    const struct {
        const char* path;
        const char* sub;
        bool ends;
    } cases[] = {
        {"D:\\Apps\\Plankora 5", "Plankora 5", true},   {"D:\\Apps\\plankora 5", "Plankora 5", false},
        {"D:\\AppsPlankora 5", "Plankora 5", true},     {"Plankora 5", "Plankora 5", true},
        {"5", "Plankora 5", false},                     {"D:\\Apps", "", false},
        {"D:\\Apps\\Plankora 5\\", "Plankora 5", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EndsWithSubFolder(c.path, c.sub), c.ends) << c.path << " / " << c.sub;
}

TEST(FolderPathText, SplitSubFolder)
{
    const struct {
        const char* path;
        const char* sub;
        const char* folder, *pathOut, *subOut;
    } cases[] = {
        {"D:\\Apps\\Plankora 5", "Plankora 5", "D:\\Apps", "D:\\Apps\\Plankora 5", "Plankora 5"},
        {"D:\\Apps\\Other", "Plankora 5", "D:\\Apps\\Other", "D:\\Apps\\Other", ""},
        {"D:\\Apps\\\\", "", "D:\\Apps", "D:\\Apps", ""},
        {"D:\\Q\\Plankora 5", "Q\\Plankora 5", "D:", "D:\\Q\\Plankora 5", "Q\\Plankora 5"},
    };
    for (const auto& c : cases) {
        std::string path = c.path, sub = c.sub, folder;
        SplitSubFolder(path, sub, folder);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(path, c.pathOut) << c.path;
        EXPECT_EQ(sub, c.subOut) << c.path;
    }
    EXPECT_EQ(DotAsEmpty("."), "");
    EXPECT_EQ(DotAsEmpty(".\\x"), ".\\x");
}

}  // namespace
