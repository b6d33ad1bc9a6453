#include "DataExchangeFlags.h"

void DDX_CheckFlag(CDataExchange* pDX, int nIDC, bool& bFlag)
{
    if (pDX->m_bFailed)
        return;
    const HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (!hCtrl)
        return;
    if (pDX->m_bSaveAndValidate)
        bFlag = ::SendMessageA(hCtrl, BM_GETCHECK, 0, 0) != 0;
    else
        ::SendMessageA(hCtrl, BM_SETCHECK, bFlag ? BST_CHECKED : BST_UNCHECKED, 0);
}
