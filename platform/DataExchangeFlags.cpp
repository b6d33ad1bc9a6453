#include "DataExchangeFlags.h"

void DDX_CheckFlag(CDataExchange* pDX, int nIDC, bool& bFlag)
{
    // Any state but unchecked counts as set.
    int value = bFlag ? BST_CHECKED : BST_UNCHECKED;
    DDX_Check(pDX, nIDC, value);
    if (pDX->m_bSaveAndValidate && !pDX->m_bFailed)
        bFlag = value != BST_UNCHECKED;
}
