// CQuDialog: controls are enabled and shown without leaving the keyboard focus on a disabled control.
#include "DialogTestIds.h"
#include "DialogTestSupport.h"
#include "QuDialog.h"

#include <gtest/gtest.h>

namespace {

class CTestQuDialog : public CQuDialog {
public:
    CTestQuDialog() : CQuDialog(IDD_TEST_FORM, nullptr) {}
    DECLARE_TEST_RUNNER()
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestQuDialog, CDialog)
    ON_MESSAGE(WM_TEST_RUN, OnTestRun)
END_MESSAGE_MAP()

struct ControlState {
    bool visible;
    bool enabled;
    bool focused;
};

TEST(CQuDialog, EnableAndShowKeepTheFocusOnAnEnabledControl)
{
    // Each case starts from the name edit (visible, enabled) as given, acts on it and checks it and the
    // focus: on the edit still, on the next tab stop (the check box), or elsewhere.
    enum Action { ENABLE, DISABLE, SHOW, HIDE };
    const struct {
        const char* name;
        ControlState before;
        Action action;
        ControlState after;
        bool focusOnNext;
    } cases[] = {
        {"enabling a hidden control leaves it disabled", {false, false, false}, ENABLE, {false, false, false}, false},
        {"enabling a visible control", {true, false, false}, ENABLE, {true, true, false}, false},
        {"disabling the focused control moves the focus on", {true, true, true}, DISABLE, {true, false, false}, true},
        {"disabling a control without focus keeps the focus", {true, true, false}, DISABLE, {true, false, false}, false},
        {"showing a visible control does not enable it", {true, false, false}, SHOW, {true, false, false}, false},
        {"showing a hidden control enables it", {false, false, false}, SHOW, {true, true, false}, false},
        {"hiding the focused control moves the focus and disables", {true, true, true}, HIDE, {false, false, false}, true},
    };
    CTestQuDialog dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    const HWND edit = GetDlgItem(run.hwnd, IDC_TEST_NAME);
    const HWND check = GetDlgItem(run.hwnd, IDC_TEST_CHECK);
    const HWND apply = GetDlgItem(run.hwnd, IDC_TEST_APPLY);
    for (const auto& c : cases) {
        ControlState after = {};
        HWND focus = nullptr;
        RunOnDialogThread(run.hwnd, [&] {
            ShowWindow(edit, c.before.visible ? SW_SHOW : SW_HIDE);
            EnableWindow(edit, c.before.enabled);
            SetFocus(c.before.focused ? edit : apply);
            switch (c.action) {
            case ENABLE: dlg.EnableControl(edit, true); break;
            case DISABLE: dlg.EnableControl(edit, false); break;
            case SHOW: dlg.ShowControl(edit, true); break;
            case HIDE: dlg.ShowControl(edit, false); break;
            }
            after = {IsWindowVisible(edit) != FALSE, IsWindowEnabled(edit) != FALSE, GetFocus() == edit};
            focus = GetFocus();
        });
        EXPECT_EQ(after.visible, c.after.visible) << c.name;
        EXPECT_EQ(after.enabled, c.after.enabled) << c.name;
        EXPECT_EQ(after.focused, c.after.focused) << c.name;
        const HWND expectedFocus = c.focusOnNext ? check : c.before.focused ? edit : apply;
        EXPECT_EQ(focus, expectedFocus) << c.name;
    }
    EXPECT_EQ(dlg.GetItemHandle(IDC_TEST_NAME), edit);
    RunOnDialogThread(run.hwnd, [&] { dlg.SetItemText(IDC_TEST_NAME, "Sarventa"); });
    EXPECT_EQ(GetItemText(run.hwnd, IDC_TEST_NAME), "Sarventa");
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CQuDialog");
    ASSERT_TRUE(run.Cancel());
    EXPECT_EQ(dlg.GetItemHandle(IDC_TEST_NAME), nullptr);  // no window: no item
}

}  // namespace
