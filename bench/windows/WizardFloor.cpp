// The wizard's windows and nothing else: the frame and its six pages from setup.exe's own templates, the
// pages created hidden as children of the frame, the language list's flags and names, the pages moved into
// the page area, the first page shown, then the frame. No start-up checks, no texts besides the language
// names, no framework. bench/wine-startup.sh times it beside setup.exe: what these windows cost under Wine
// before the installer does any work of its own.
#include "FlagStrip.h"
#include "Languages.h"
#include "Texts.h"
#include "resource.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

const int PAGE_TEMPLATES[] = {IDD_LANGUAGE_PAGE, IDD_METHOD_PAGE,   IDD_FOLDER_PAGE,
                              IDD_SHORTCUT_PAGE, IDD_PROGRESS_PAGE, IDD_INFO_PAGE};
HIMAGELIST g_flags = nullptr;

INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

void FillLanguageList(HWND page)
{
    const HWND list = GetDlgItem(page, IDC_LANGUAGE_LIST);
    g_flags = ImageList_Create(18, 12, ILC_COLOR24, 8, 1);
    SendMessageA(list, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g_flags));
    const std::vector<int> offered = GetListedLanguages();
    const int first = AppendFlagStrip(g_flags, GetModuleHandleA(nullptr), offered);
    for (size_t i = 0; i < offered.size(); ++i) {
        std::string name = GetLanguageName(offered[i]);
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        item.iItem = static_cast<INT_PTR>(i);
        item.pszText = &name[0];
        item.iImage = item.iSelectedImage = first < 0 ? -1 : first + static_cast<int>(i);
        item.lParam = offered[i];
        SendMessageA(list, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(list, CB_SETCURSEL, 0, 0);
}

// The pages go to the right of the panel and above the separator; the frame grows by what they need.
void CreatePages(HWND frame)
{
    RECT area, panel, separator;
    GetClientRect(frame, &area);
    GetWindowRect(GetDlgItem(frame, IDC_PANEL), &panel);
    GetWindowRect(GetDlgItem(frame, IDC_SEPARATOR), &separator);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&panel), 2);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&separator), 2);
    area.left = panel.right;
    area.bottom = separator.top;
    RECT all = area;
    HWND pages[6];
    for (int i = 0; i < 6; ++i) {
        pages[i] = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PAGE_TEMPLATES[i]), frame,
                                      PageProc, 0);
        if (i == 0)
            FillLanguageList(pages[0]);
        RECT page;
        GetWindowRect(pages[i], &page);
        all.right = std::max(all.right, area.left + (page.right - page.left));
        all.bottom = std::max(all.bottom, area.top + (page.bottom - page.top));
    }
    RECT frameRect;
    GetWindowRect(frame, &frameRect);
    SetWindowPos(frame, nullptr, 0, 0, frameRect.right - frameRect.left + (all.right - area.right),
                 frameRect.bottom - frameRect.top + (all.bottom - area.bottom), SWP_NOMOVE | SWP_NOZORDER);
    for (const HWND page : pages) {
        SetWindowPos(page, nullptr, all.left, all.top, all.right - all.left, all.bottom - all.top,
                     SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    }
    ShowWindow(pages[0], SW_SHOW);
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CreatePages(frame);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(frame);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES |
                                                          ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const HWND frame = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL), nullptr, FrameProc, 0);
    if (!frame)
        return 1;
    ShowWindow(frame, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(frame, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    ImageList_Destroy(g_flags);
    return 0;
}
