// Data exchange of an 8-bit flag with a check box.
#pragma once

#include "Dialog.h"

// Saving: the flag becomes 1 when the check box is checked (any state but 0), else 0. Loading: the check
// box is set to the flag's value.
void DDX_CheckFlag(CDataExchange* pDX, int nIDC, bool& bFlag);
