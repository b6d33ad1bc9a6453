// Shows one dialog of the library for a screenshot, prints "READY x y width height" (its window rectangle)
// once it is drawn, and closes it after a few seconds.
//   dialog-demo folder FOLDER SUBFOLDER     the folder tree dialog
//   dialog-demo resizable WIDTH HEIGHT      a resizable dialog with its window at that size (0 0: template size)
#include "DialogTestIds.h"
#include "FolderDialog.h"
#include "ResizableDialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT_PTR READY_TIMER = 1;
constexpr UINT_PTR CLOSE_TIMER = 2;

// Reports the window rectangle once the dialog has been painted, then closes it.
template <class Base>
void OnDemoTimer(Base& dlg, UINT_PTR id)
{
    if (id == READY_TIMER) {
        ::KillTimer(dlg.m_hWnd, READY_TIMER);
        RECT rc;
        ::GetWindowRect(dlg.m_hWnd, &rc);
        std::printf("READY %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        std::fflush(stdout);
        ::SetTimer(dlg.m_hWnd, CLOSE_TIMER, 3000, nullptr);
    } else {
        dlg.EndDialog(IDCANCEL);
    }
}

class CDemoFolderDialog : public CQuFolderDialog {
public:
    CDemoFolderDialog() : CQuFolderDialog(false, nullptr) {}

protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = CQuFolderDialog::OnInitDialog();
        ::SetTimer(m_hWnd, READY_TIMER, 1500, nullptr);
        return result;
    }
    LRESULT OnTimer(WPARAM wParam, LPARAM)
    {
        OnDemoTimer(*this, wParam);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDemoFolderDialog, CQuFolderDialog)
    ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()

class CDemoResizable : public CQuResizableDialog {
public:
    CDemoResizable(int cx, int cy) : CQuResizableDialog(IDD_TEST_RESIZE, nullptr), m_cx(cx), m_cy(cy) {}
    const RESIZE_ENTRY* GetLayoutTable() const override
    {
        static const RESIZE_ENTRY table[] = {
            {IDC_R_EDIT, RSZ_SIZE_X},
            {IDC_R_LIST, RSZ_SIZE_X | RSZ_SIZE_Y},
            {IDC_R_HALF, RSZ_MOVE_X | RSZ_SIZE_HALF_Y},
            {IDC_R_FIXED, RSZ_MOVE_X | RSZ_MOVE_HALF_Y},
            {IDOK, RSZ_MOVE_Y | RSZ_MOVE_HALF_X},
            {IDCANCEL, RSZ_MOVE_Y | RSZ_MOVE_HALF_X},
            {IDC_SIZEGRIP, RSZ_MOVE_X | RSZ_MOVE_Y},
        };
        return table;
    }

protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = CQuResizableDialog::OnInitDialog();
        SendDlgItemMessage(IDC_R_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Plankora.exe"));
        SendDlgItemMessage(IDC_R_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Uninstall.exe"));
        SetDlgItemText(IDC_R_EDIT, "C:\\Program Files\\Quillon & Partners\\Sarventa 5");
        if (m_cx > 0 && m_cy > 0)
            SetWindowPos(nullptr, 0, 0, m_cx, m_cy, SWP_NOMOVE | SWP_NOZORDER);
        ::SetTimer(m_hWnd, READY_TIMER, 1000, nullptr);
        return result;
    }
    LRESULT OnTimer(WPARAM wParam, LPARAM)
    {
        OnDemoTimer(*this, wParam);
        return 0;
    }
    DECLARE_MESSAGE_MAP()

private:
    int m_cx;
    int m_cy;
};

BEGIN_MESSAGE_MAP(CDemoResizable, CQuResizableDialog)
    ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "folder") == 0) {
        CDemoFolderDialog dlg;
        dlg.m_strTitle = "Browse";
        dlg.m_strOkText = "OK";
        dlg.m_strCancelText = "Cancel";
        dlg.m_strFolder = argv[2];
        dlg.m_strSubFolder = argv[3];
        dlg.m_bLocalOnly = true;
        return dlg.DoModal() == -1 ? 1 : 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "resizable") == 0) {
        CDemoResizable dlg(std::atoi(argv[2]), std::atoi(argv[3]));
        return dlg.DoModal() == -1 ? 1 : 0;
    }
    std::fprintf(stderr, "usage: dialog-demo folder FOLDER SUBFOLDER | resizable WIDTH HEIGHT\n");
    return 2;
}
