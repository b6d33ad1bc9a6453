// Anchor tables of resizable dialogs and the arithmetic that applies them (pure: no <windows.h>).
#pragma once

#include <cstdint>

// One row of a dialog's anchor table. The table ends with the row of IDC_SIZEGRIP, which is also the
// size grip's own anchoring.
struct RESIZE_ENTRY {
    uint32_t nID;
    uint32_t nFlags;
};

constexpr uint32_t IDC_SIZEGRIP = 99;

constexpr uint32_t RSZ_MOVE_X = 0x01;
constexpr uint32_t RSZ_MOVE_Y = 0x02;
constexpr uint32_t RSZ_MOVE_HALF_X = 0x04;  // ignored with RSZ_MOVE_X
constexpr uint32_t RSZ_MOVE_HALF_Y = 0x08;  // ignored with RSZ_MOVE_Y
constexpr uint32_t RSZ_SIZE_X = 0x10;
constexpr uint32_t RSZ_SIZE_Y = 0x20;
constexpr uint32_t RSZ_SIZE_HALF_X = 0x40;  // ignored with RSZ_SIZE_X
constexpr uint32_t RSZ_SIZE_HALF_Y = 0x80;  // ignored with RSZ_SIZE_Y
constexpr uint32_t RSZ_MOVE_MASK = 0x0F;
constexpr uint32_t RSZ_SIZE_MASK = 0xF0;

// Marks a carry for which no size change has been handled yet.
constexpr int32_t RSZ_NO_CARRY = 0x7FFFFFFF;

// Half of delta for a half-step move. An odd delta leaves one pixel in carry (-1 or +1) that the next odd
// delta uses up, so the sum of the half-steps stays within one pixel of half the total change.
int32_t HalfStep(int32_t delta, int32_t& carry);

struct LayoutRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct AnchoredRect {
    LayoutRect rect;
    bool bMoved;    // a move flag was set (else the position is kept: SWP_NOMOVE)
    bool bResized;  // a size flag was set (else the size is kept: SWP_NOSIZE)
};

// The rectangle of a control after a change of dx, dy (halfDx, halfDy for the half flags): moves first,
// then the right and bottom edges.
AnchoredRect ApplyAnchor(const LayoutRect& rc, uint32_t nFlags, int32_t dx, int32_t dy, int32_t halfDx, int32_t halfDy);

// Number of rows up to and including the IDC_SIZEGRIP row.
int CountLayoutRows(const RESIZE_ENTRY* table);
