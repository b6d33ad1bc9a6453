#include "ResizeLayout.h"

int32_t HalfStep(int32_t delta, int32_t& carry)
{
    if (delta % 2 == 0)
        return delta / 2;
    if (carry == 0) {
        carry = delta > 0 ? 1 : -1;
        return (delta - carry) / 2;
    }
    const int32_t half = (delta + carry) / 2;
    carry = 0;
    return half;
}

AnchoredRect ApplyAnchor(const LayoutRect& rc, uint32_t nFlags, int32_t dx, int32_t dy, int32_t halfDx, int32_t halfDy)
{
    AnchoredRect out{rc, (nFlags & RSZ_MOVE_MASK) != 0, (nFlags & RSZ_SIZE_MASK) != 0};
    LayoutRect& r = out.rect;
    if (out.bMoved) {
        const int32_t mx = (nFlags & RSZ_MOVE_X) ? dx : (nFlags & RSZ_MOVE_HALF_X) ? halfDx : 0;
        const int32_t my = (nFlags & RSZ_MOVE_Y) ? dy : (nFlags & RSZ_MOVE_HALF_Y) ? halfDy : 0;
        r.left += mx;
        r.right += mx;
        r.top += my;
        r.bottom += my;
    }
    if (out.bResized) {
        r.right += (nFlags & RSZ_SIZE_X) ? dx : (nFlags & RSZ_SIZE_HALF_X) ? halfDx : 0;
        r.bottom += (nFlags & RSZ_SIZE_Y) ? dy : (nFlags & RSZ_SIZE_HALF_Y) ? halfDy : 0;
    }
    return out;
}

int CountLayoutRows(const RESIZE_ENTRY* table)
{
    int n = 1;
    while (table[n - 1].nID != IDC_SIZEGRIP)
        ++n;
    return n;
}
