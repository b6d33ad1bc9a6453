// CQuFileDialog: the system's open dialog, cancelled and accepted with a typed file name.
#include "DialogTestSupport.h"
#include "QuFileDialog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The file name box of the open dialog: a combo box (cmb13) or an edit (edt1).
HWND FileNameBox(HWND dialog)
{
    const HWND combo = GetDlgItem(dialog, 0x47C);
    return combo ? combo : GetDlgItem(dialog, 0x480);
}

TEST(CQuFileDialog, CancelledAndAccepted)
{
    const std::string folder = FreshFolder("file-dialog");
    const std::string file = folder + "\\board.plk";
    ASSERT_TRUE(WriteFileBytes(file, "board"));
    for (bool accept : {false, true}) {
        CQuFileDialog dlg(true, "plk", nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, "Boards|*.plk|All files|*.*|");
        INT_PTR result = 0;
        UiThread ui([&] { result = dlg.DoModal(); });
        const HWND hwnd = WaitForDialog(ui.Id());
        ASSERT_NE(hwnd, nullptr);
        if (accept) {
            ASSERT_NE(FileNameBox(hwnd), nullptr);
            SendMessageA(FileNameBox(hwnd), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDOK)));
        } else {
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        ASSERT_TRUE(ui.Join());
        EXPECT_EQ(result, accept ? IDOK : IDCANCEL);
        EXPECT_TRUE(!accept || lstrcmpiA(dlg.GetPathName().c_str(), file.c_str()) == 0) << dlg.GetPathName();
    }
    EXPECT_STREQ(CQuFileDialog(true).GetRuntimeClass()->m_lpszClassName, "CQuFileDialog");
    EXPECT_TRUE(CQuFileDialog(false).IsKindOf(RUNTIME_CLASS(CFileDialog)));
}

}  // namespace
