// The smallest dialog program: one dialog from its template, run by DialogBox, nothing else. The start-up
// benchmark compares setup.exe with it. Built a second time with QU_COMMON_CONTROLS (minimal-dialog-controls):
// version 6 of the common controls, as the installer's manifest asks, and its list an extended combo box like
// the installer's, so that the comparison shows what the common controls cost under Wine.
#include <windows.h>
#ifdef QU_COMMON_CONTROLS
#include <commctrl.h>
#endif

namespace {

INT_PTR CALLBACK MinimalDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
#ifdef QU_COMMON_CONTROLS
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
#endif
    return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCEA(100), nullptr, MinimalDialogProc, 0));
}
