// CQuResizableDialog under Wine: the patched template, the grip, anchored controls with half-step carries,
// minimising and maximising, child templates, tracking limits, the saved size and a second run.
#include "DialogTestIds.h"
#include "DialogTestSupport.h"
#include "ResizableDialog.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <map>

namespace {

const RESIZE_ENTRY TEST_TABLE[] = {
    {IDC_R_EDIT, RSZ_SIZE_X},
    {IDC_R_LIST, RSZ_SIZE_X | RSZ_SIZE_Y},
    {IDC_R_HALF, RSZ_SIZE_HALF_X | RSZ_MOVE_HALF_Y},
    {IDC_R_FIXED, 0},
    {IDOK, RSZ_MOVE_Y | RSZ_MOVE_HALF_X},
    {IDCANCEL, RSZ_MOVE_X | RSZ_MOVE_Y},
    {IDC_SIZEGRIP, RSZ_MOVE_X | RSZ_MOVE_Y},
};

const int TEST_IDS[] = {IDC_R_EDIT, IDC_R_LIST, IDC_R_HALF, IDC_R_FIXED, IDOK, IDCANCEL, IDC_SIZEGRIP};

class CTestResizable : public CQuResizableDialog {
public:
    explicit CTestResizable(UINT nID = IDD_TEST_RESIZE) : CQuResizableDialog(nID, nullptr) {}
    const RESIZE_ENTRY* m_pTable = TEST_TABLE;
    const RESIZE_ENTRY* GetLayoutTable() const override { return m_pTable; }
    // Runs before the class's own initialisation.
    std::function<void(CTestResizable&)> m_beforeInit;
    void Size(UINT nType, int cx, int cy) { OnSize(nType, cx, cy); }

protected:
    BOOL OnInitDialog() override
    {
        if (m_beforeInit)
            m_beforeInit(*this);
        return CQuResizableDialog::OnInitDialog();
    }
    DECLARE_TEST_RUNNER()
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestResizable, CQuResizableDialog)
    ON_MESSAGE(WM_TEST_RUN, OnTestRun)
END_MESSAGE_MAP()

using Rects = std::map<int, RECT>;

Rects ControlRects(HWND dialog)
{
    Rects rects;
    for (int id : TEST_IDS)
        if (GetDlgItem(dialog, id))
            rects[id] = GetItemRect(dialog, id);
    return rects;
}

// How far each edge of the control moved between two snapshots: left, top, right, bottom.
std::vector<long> Moved(const Rects& before, const Rects& after, int id)
{
    const RECT& a = before.at(id);
    const RECT& b = after.at(id);
    return {b.left - a.left, b.top - a.top, b.right - a.right, b.bottom - a.bottom};
}

SIZE WindowSize(HWND hwnd)
{
    RECT rc;
    GetWindowRect(hwnd, &rc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

TEST(CQuResizableDialog, TemplateGetsAFrameAndTheGripSitsOnTopInTheCorner)
{
    for (UINT id : {IDD_TEST_RESIZE, IDD_TEST_RESIZE_PLAIN}) {
        CTestResizable dlg(id);
        EXPECT_EQ(dlg.m_lpszTemplateName, nullptr);
        EXPECT_EQ(dlg.m_lpszSavedTemplate, MAKEINTRESOURCEA(id));
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        EXPECT_TRUE(GetWindowLongPtrA(run.hwnd, GWL_STYLE) & WS_THICKFRAME) << id;
        const HWND grip = GetDlgItem(run.hwnd, IDC_SIZEGRIP);
        ASSERT_NE(grip, nullptr);
        char cls[32] = {};
        GetClassNameA(grip, cls, sizeof cls);
        EXPECT_STREQ(cls, "ScrollBar");
        EXPECT_EQ(GetWindowLongPtrA(grip, GWL_STYLE) & 0x50020010, 0x50020010);
        EXPECT_EQ(GetWindow(run.hwnd, GW_CHILD), grip);  // top of the z-order
        const RECT rc = GetItemRect(run.hwnd, IDC_SIZEGRIP);
        const SIZE client = GetClientSize(run.hwnd);
        EXPECT_EQ(rc.right, client.cx);
        EXPECT_EQ(rc.bottom, client.cy);
        EXPECT_EQ(rc.right - rc.left, GetSystemMetrics(SM_CXHSCROLL));
        EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CQuResizableDialog");
        ASSERT_TRUE(run.Cancel());
    }
}

TEST(CQuResizableDialog, HalfStepsCarryTheOddPixel)
{
    CTestResizable dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const SIZE c0 = GetClientSize(run.hwnd);
    // Client size changes and the expected edge moves of the centred OK button (left), the half-size
    // control (right edge, and its top for the vertical half-move), Cancel and the list.
    const struct {
        int dx, dy;
        long okLeft, halfRight, halfTop, cancelLeft, listRight, listBottom;
    } steps[] = {
        {5, 0, 2, 2, 0, 5, 5, 0},    {8, 0, 2, 2, 0, 3, 3, 0},    {5, 0, -1, -1, 0, -3, -3, 0},
        {4, 0, -1, -1, 0, -1, -1, 0}, {4, 5, 0, 0, 2, 0, 0, 5},    {4, 8, 0, 0, 2, 0, 0, 3},
    };
    for (const auto& s : steps) {
        const Rects before = ControlRects(run.hwnd);
        SetClientSize(run.hwnd, c0.cx + s.dx, c0.cy + s.dy);
        const Rects after = ControlRects(run.hwnd);
        const std::string step = std::to_string(s.dx) + "," + std::to_string(s.dy);
        EXPECT_EQ(Moved(before, after, IDOK)[0], s.okLeft) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_HALF)[2], s.halfRight) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_HALF)[1], s.halfTop) << step;
        EXPECT_EQ(Moved(before, after, IDCANCEL)[0], s.cancelLeft) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_LIST)[2], s.listRight) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_LIST)[3], s.listBottom) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_FIXED), std::vector<long>({0, 0, 0, 0})) << step;
        EXPECT_EQ(Moved(before, after, IDC_R_LIST)[0], 0) << step;
    }
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuResizableDialog, NoLayoutBeforeInitialisation)
{
    CTestResizable dlg;
    RECT okBefore = {}, okAfter = {};
    dlg.m_beforeInit = [&](CTestResizable& d) {
        okBefore = GetItemRect(d.m_hWnd, IDOK);
        d.Size(SIZE_RESTORED, 900, 700);
        okAfter = GetItemRect(d.m_hWnd, IDOK);
        EXPECT_EQ(d.m_nCarryX, RSZ_NO_CARRY);
    };
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_TRUE(EqualRect(&okBefore, &okAfter));
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuResizableDialog, MinimiseRestoreMovesNothingAndMaximiseHidesTheGrip)
{
    CTestResizable dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND grip = GetDlgItem(run.hwnd, IDC_SIZEGRIP);
    const Rects initial = ControlRects(run.hwnd);

    ShowWindow(run.hwnd, SW_MINIMIZE);
    EXPECT_TRUE(dlg.m_bMinimized);
    ShowWindow(run.hwnd, SW_RESTORE);
    EXPECT_FALSE(dlg.m_bMinimized);
    EXPECT_EQ(ControlRects(run.hwnd).at(IDOK).left, initial.at(IDOK).left);
    EXPECT_EQ(ControlRects(run.hwnd).at(IDCANCEL).top, initial.at(IDCANCEL).top);

    ShowWindow(run.hwnd, SW_MAXIMIZE);
    const SIZE maximised = GetClientSize(run.hwnd);
    EXPECT_FALSE(IsWindowVisible(grip));
    EXPECT_FALSE(IsWindowEnabled(grip));
    EXPECT_EQ(GetItemRect(run.hwnd, IDCANCEL).right - initial.at(IDCANCEL).right,
              maximised.cx - initial.at(IDC_SIZEGRIP).right);
    ShowWindow(run.hwnd, SW_RESTORE);
    EXPECT_TRUE(IsWindowVisible(grip));
    EXPECT_TRUE(IsWindowEnabled(grip));
    EXPECT_EQ(ControlRects(run.hwnd).at(IDCANCEL).left, initial.at(IDCANCEL).left);

    // Minimised, then shown maximised: the controls follow the new size.
    ShowWindow(run.hwnd, SW_MINIMIZE);
    ShowWindow(run.hwnd, SW_SHOWMAXIMIZED);
    const SIZE client = GetClientSize(run.hwnd);
    EXPECT_EQ(dlg.m_cxLast, client.cx);
    EXPECT_EQ(GetItemRect(run.hwnd, IDCANCEL).right,
              initial.at(IDCANCEL).right + client.cx - initial.at(IDC_SIZEGRIP).right);
    ASSERT_TRUE(run.Cancel());
}

TEST(CQuResizableDialog, AChildTemplateGetsNeitherFrameNorGrip)
{
    CDialog host(IDD_TEST_EDIT_HOST, nullptr);
    ASSERT_TRUE(host.Create(MAKEINTRESOURCEA(IDD_TEST_EDIT_HOST), nullptr));
    CTestResizable child(IDD_TEST_RESIZE_CHILD);
    ASSERT_TRUE(child.Create(nullptr, &host));
    EXPECT_FALSE(GetWindowLongPtrA(child.m_hWnd, GWL_STYLE) & WS_THICKFRAME);
    EXPECT_TRUE(child.m_bNoGrip);
    EXPECT_EQ(GetDlgItem(child.m_hWnd, IDC_SIZEGRIP), nullptr);
    const Rects before = ControlRects(child.m_hWnd);
    RECT rc;
    GetWindowRect(child.m_hWnd, &rc);
    SetWindowPos(child.m_hWnd, nullptr, 0, 0, rc.right - rc.left + 6, rc.bottom - rc.top + 4,
                 SWP_NOMOVE | SWP_NOZORDER);
    const Rects after = ControlRects(child.m_hWnd);
    EXPECT_EQ(Moved(before, after, IDC_R_EDIT), std::vector<long>({0, 0, 6, 0}));
    EXPECT_EQ(Moved(before, after, IDOK), std::vector<long>({3, 4, 3, 4}));
    host.DestroyWindow();
}

TEST(CQuResizableDialog, TrackingLimits)
{
    for (bool fixed : {false, true}) {
        CTestResizable dlg;
        dlg.m_bFixedWidth = fixed;
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        const SIZE initial = WindowSize(run.hwnd);
        MINMAXINFO mmi = {};
        mmi.ptMaxTrackSize = {5000, 5000};
        SendMessageA(run.hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        EXPECT_EQ(mmi.ptMinTrackSize.x, initial.cx);
        EXPECT_EQ(mmi.ptMinTrackSize.y, initial.cy);
        EXPECT_EQ(mmi.ptMaxTrackSize.x, fixed ? initial.cx : 5000);
        EXPECT_EQ(mmi.ptMaxTrackSize.y, 5000);
        // The system keeps the window within the limits.
        SetWindowPos(run.hwnd, nullptr, 0, 0, initial.cx - 40, initial.cy - 30, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(WindowSize(run.hwnd).cx, initial.cx);
        EXPECT_EQ(WindowSize(run.hwnd).cy, initial.cy);
        SetWindowPos(run.hwnd, nullptr, 0, 0, initial.cx + 40, initial.cy + 30, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(WindowSize(run.hwnd).cx, fixed ? initial.cx : initial.cx + 40);
        EXPECT_EQ(WindowSize(run.hwnd).cy, initial.cy + 30);
        ASSERT_TRUE(run.Cancel());
    }
}

// Each test has a profile key of its own: CTest may run them at the same time.
class SavedSize : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_company = std::string("QuDialogTests.") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_app.SetRegistryKey(m_company.c_str());
        SHDeleteKeyA(HKEY_CURRENT_USER, ("Software\\" + m_company).c_str());
    }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, ("Software\\" + m_company).c_str()); }
    std::string m_company;
    CWinApp m_app{"Dialog tests"};
};

TEST_F(SavedSize, RaisedToTheTemplateSizeZeroRestoresNothing)
{
    SIZE initial = {};
    {
        CTestResizable dlg;
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        initial = WindowSize(run.hwnd);
        ASSERT_TRUE(run.Cancel());
    }
    const struct {
        UINT stored;
        SIZE expected;
    } cases[] = {
        {static_cast<UINT>(((initial.cy + 30) << 16) | (initial.cx - 40)), {initial.cx, initial.cy + 30}},
        {static_cast<UINT>(((initial.cy - 10) << 16) | (initial.cx + 50)), {initial.cx + 50, initial.cy}},
        {static_cast<UINT>(((initial.cy + 7) << 16) | (initial.cx + 9)), {initial.cx + 9, initial.cy + 7}},
        {0, initial},
    };
    for (const auto& c : cases) {
        m_app.WriteProfileInt(DIALOG_SIZE_SECTION, "Test", static_cast<int>(c.stored));
        CTestResizable dlg;
        dlg.m_strSizeKey = "Test";
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        EXPECT_EQ(WindowSize(run.hwnd).cx, c.expected.cx) << c.stored;
        EXPECT_EQ(WindowSize(run.hwnd).cy, c.expected.cy) << c.stored;
        // The controls are laid out for the restored size.
        EXPECT_EQ(GetItemRect(run.hwnd, IDC_SIZEGRIP).right, GetClientSize(run.hwnd).cx);
        ASSERT_TRUE(run.Cancel());
    }
}

TEST_F(SavedSize, TheNormalSizeIsSavedOnCloseAndAnEmptyKeyIsNeitherReadNorWritten)
{
    m_app.WriteProfileInt(DIALOG_SIZE_SECTION, "", static_cast<int>((900 << 16) | 900));
    CTestResizable dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const SIZE initial = WindowSize(run.hwnd);
    ASSERT_TRUE(run.Cancel());
    EXPECT_EQ(m_app.GetProfileInt(DIALOG_SIZE_SECTION, "", 0), static_cast<UINT>((900 << 16) | 900));

    dlg.m_strSizeKey = "Folder";
    ModalRun second(dlg);
    ASSERT_NE(second.hwnd, nullptr);
    EXPECT_EQ(WindowSize(second.hwnd).cx, initial.cx);  // nothing stored yet
    SetWindowPos(second.hwnd, nullptr, 0, 0, initial.cx + 20, initial.cy + 10, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(second.hwnd, SW_MAXIMIZE);
    ASSERT_TRUE(second.Cancel());
    EXPECT_EQ(m_app.GetProfileInt(DIALOG_SIZE_SECTION, "Folder", 0),
              static_cast<UINT>(((initial.cy + 10) << 16) | (initial.cx + 20)));
}

TEST(CQuResizableDialog, TheSecondRunLaysOutFromScratch)
{
    CTestResizable dlg;
    long okLeft[2] = {}, moved[2] = {};
    for (int i = 0; i < 2; ++i) {
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        EXPECT_EQ(dlg.m_nCarryX, RSZ_NO_CARRY);
        okLeft[i] = GetItemRect(run.hwnd, IDOK).left;
        const SIZE c0 = GetClientSize(run.hwnd);
        SetClientSize(run.hwnd, c0.cx + 5, c0.cy);
        moved[i] = GetItemRect(run.hwnd, IDOK).left - okLeft[i];
        ASSERT_TRUE(run.Cancel());
        EXPECT_EQ(dlg.m_cxLast, 0);
    }
    EXPECT_EQ(okLeft[1], okLeft[0]);
    EXPECT_EQ(moved[0], 2);
    EXPECT_EQ(moved[1], 2);  // a carry left from the first run would make it 3
}

TEST(CQuResizableDialog, FailuresAreClean)
{
    // A missing template keeps its name and the run fails without a window.
    CTestResizable missing(IDD_TEST_MISSING);
    EXPECT_EQ(missing.m_lpszTemplateName, MAKEINTRESOURCEA(IDD_TEST_MISSING));
    EXPECT_EQ(missing.DoModal(), -1);

    // A table row whose control does not exist does not stop the others from moving.
    const RESIZE_ENTRY table[] = {{IDC_R_EDIT, RSZ_SIZE_X}, {4242, RSZ_SIZE_X}, {IDCANCEL, RSZ_MOVE_X},
                                  {IDC_SIZEGRIP, RSZ_MOVE_X | RSZ_MOVE_Y}};
    CTestResizable dlg;
    dlg.m_pTable = table;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const Rects before = ControlRects(run.hwnd);
    const SIZE c0 = GetClientSize(run.hwnd);
    SetClientSize(run.hwnd, c0.cx + 10, c0.cy);
    const Rects after = ControlRects(run.hwnd);
    EXPECT_EQ(Moved(before, after, IDC_R_EDIT)[2], 10);
    EXPECT_EQ(Moved(before, after, IDCANCEL)[0], 10);
    EXPECT_EQ(dlg.m_cxLast, c0.cx + 10);
    ASSERT_TRUE(run.Cancel());
}

}  // namespace
