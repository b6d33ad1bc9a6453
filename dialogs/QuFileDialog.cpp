#include "QuFileDialog.h"

IMPLEMENT_DYNAMIC(CQuFileDialog, CFileDialog)

BEGIN_MESSAGE_MAP(CQuFileDialog, CFileDialog)
END_MESSAGE_MAP()
