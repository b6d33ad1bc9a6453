// The framework's dialogs under Wine: modal runs from templates, the keyboard through IsDialogMessage, message
// maps chained to the base class, data exchange with validation, child pages, and runs after a destroy.
#include "Controls.h"
#include "DataExchangeFlags.h"
#include "DialogTestIds.h"
#include "Dialog.h"
#include "DialogTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr UINT NM_TEST_CODE = 0x7F01;

class CFormDialog : public CDialog {
public:
    CFormDialog() : CDialog(IDD_TEST_FORM, nullptr) {}

    std::string m_strName = "Plankora";
    int m_nCheck = 1;
    int m_nRadio = 2;
    int m_nMaxChars = 20;
    int m_nInitCount = 0;
    int m_nDestroyed = 0;
    int m_nApplied = 0;
    int m_nNotified = 0;
    bool m_bCheckFlag = false;
    bool m_bFlagExchange = false;  // the check box goes through DDX_CheckFlag instead of DDX_Check
    CButton m_apply;

protected:
    BOOL OnInitDialog() override
    {
        ++m_nInitCount;
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_TEST_NAME, m_strName);
        DDV_MaxChars(pDX, m_strName, m_nMaxChars);
        if (m_bFlagExchange)
            DDX_CheckFlag(pDX, IDC_TEST_CHECK, m_bCheckFlag);
        else
            DDX_Check(pDX, IDC_TEST_CHECK, m_nCheck);
        DDX_Radio(pDX, IDC_TEST_RADIO1, m_nRadio);
        DDX_Control(pDX, IDC_TEST_APPLY, m_apply);
    }
    void PostNcDestroy() override { ++m_nDestroyed; }
    void OnApply() { ++m_nApplied; }
    void OnThrow() { throw std::runtime_error("a handler failed"); }
    void OnTestNotify(NMHDR*, LRESULT* pResult)
    {
        ++m_nNotified;
        *pResult = 42;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CFormDialog, CDialog)
    ON_COMMAND(IDC_TEST_APPLY, OnApply)
    ON_COMMAND(IDC_TEST_THROW, OnThrow)
    ON_NOTIFY(NM_TEST_CODE, IDC_TEST_NAME, OnTestNotify)
END_MESSAGE_MAP()

// Adds a handler of its own and replaces the base's Apply handler; the base's other entries still apply.
class CDerivedForm : public CFormDialog {
public:
    int m_nExtra = 0;
    int m_nDerivedApplied = 0;

protected:
    void OnExtra() { ++m_nExtra; }
    void OnDerivedApply() { ++m_nDerivedApplied; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedForm, CFormDialog)
    ON_COMMAND(IDC_TEST_EXTRA, OnExtra)
    ON_COMMAND(IDC_TEST_APPLY, OnDerivedApply)
END_MESSAGE_MAP()

TEST(CDialog, ModalRunLoadsAndSavesTheData)
{
    CFormDialog dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_EQ(GetItemText(run.hwnd, IDC_TEST_NAME), "Plankora");
    EXPECT_EQ(IsDlgButtonChecked(run.hwnd, IDC_TEST_CHECK), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(run.hwnd, IDC_TEST_RADIO3), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(run.hwnd, IDC_TEST_NAME, EM_GETLIMITTEXT, 0, 0), 20);
    EXPECT_EQ(dlg.m_apply.m_hWnd, GetDlgItem(run.hwnd, IDC_TEST_APPLY));

    SetItemText(run.hwnd, IDC_TEST_NAME, "Sarventa");
    SendDlgItemMessageA(run.hwnd, IDC_TEST_CHECK, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(run.hwnd, IDC_TEST_RADIO3, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(run.hwnd, IDC_TEST_RADIO1, BM_SETCHECK, BST_CHECKED, 0);
    ClickButton(run.hwnd, IDOK);
    ASSERT_TRUE(run.thread.Join());
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(dlg.m_strName, "Sarventa");
    EXPECT_EQ(dlg.m_nCheck, 0);
    EXPECT_EQ(dlg.m_nRadio, 0);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_nDestroyed, 1);
}

TEST(CDialog, TheKeyboardWorksThroughIsDialogMessage)
{
    // Tab moves to the next tab stop, Escape cancels, Enter presses the default button.
    CFormDialog dlg;
    {
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        const HWND edit = GetDlgItem(run.hwnd, IDC_TEST_NAME);
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(run.thread.Id()) == edit; }));
        PressKey(edit, VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(run.thread.Id()) == GetDlgItem(run.hwnd, IDC_TEST_CHECK); }));
        PressKey(FocusOf(run.thread.Id()), VK_ESCAPE);
        ASSERT_TRUE(run.thread.Join());
        EXPECT_EQ(run.result, IDCANCEL);
    }
    {
        ModalRun run(dlg);
        ASSERT_NE(run.hwnd, nullptr);
        const HWND edit = GetDlgItem(run.hwnd, IDC_TEST_NAME);
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(run.thread.Id()) == edit; }));
        PressKey(edit, VK_RETURN);
        ASSERT_TRUE(run.thread.Join());
        EXPECT_EQ(run.result, IDOK);
    }
    EXPECT_EQ(dlg.m_nInitCount, 2);  // the same object, shown again after its window was destroyed
    EXPECT_EQ(dlg.m_nDestroyed, 2);
}

TEST(CDialog, MessageMapsChainToTheBaseClass)
{
    CDerivedForm dlg;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_EXTRA, BN_CLICKED), 0);
    SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_APPLY, BN_CLICKED), 0);
    // A notification by control id and code, with its result; another code or id is not routed there.
    NMHDR nmh = {GetDlgItem(run.hwnd, IDC_TEST_NAME), IDC_TEST_NAME, NM_TEST_CODE};
    EXPECT_EQ(SendMessageA(run.hwnd, WM_NOTIFY, IDC_TEST_NAME, reinterpret_cast<LPARAM>(&nmh)), 42);
    nmh.idFrom = IDC_TEST_CHECK;
    EXPECT_EQ(SendMessageA(run.hwnd, WM_NOTIFY, IDC_TEST_CHECK, reinterpret_cast<LPARAM>(&nmh)), 0);
    // A handler that throws does not take the dialog down.
    SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_THROW, BN_CLICKED), 0);
    EXPECT_TRUE(IsWindow(run.hwnd));
    // The base's IDCANCEL entry (two maps up) ends the run.
    SendMessageA(run.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(run.thread.Join());
    EXPECT_EQ(run.result, IDCANCEL);
    EXPECT_EQ(dlg.m_nExtra, 1);
    EXPECT_EQ(dlg.m_nDerivedApplied, 1);
    EXPECT_EQ(dlg.m_nApplied, 0);
    EXPECT_EQ(dlg.m_nNotified, 1);
}

TEST(CDialog, CheckFlagExchange)
{
    // Loaded unchecked, then an indeterminate state (2) saves as 1.
    CFormDialog dlg;
    dlg.m_bFlagExchange = true;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(run.hwnd, IDC_TEST_CHECK), BST_UNCHECKED);
    SendDlgItemMessageA(run.hwnd, IDC_TEST_CHECK, BM_SETSTYLE, BS_AUTO3STATE, FALSE);
    SendDlgItemMessageA(run.hwnd, IDC_TEST_CHECK, BM_SETCHECK, BST_INDETERMINATE, 0);
    ClickButton(run.hwnd, IDOK);
    ASSERT_TRUE(run.thread.Join());
    EXPECT_TRUE(dlg.m_bCheckFlag);
}

TEST(CDialog, MaxCharsRefusesOkWithTheMessageAndFocusesTheEdit)
{
    CFormDialog dlg;
    dlg.m_nMaxChars = 5;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(run.hwnd, IDC_TEST_NAME, EM_GETLIMITTEXT, 0, 0), 5);
    SetItemText(run.hwnd, IDC_TEST_NAME, "Plankora");  // WM_SETTEXT is not limited
    ClickButton(run.hwnd, IDOK);
    EXPECT_EQ(AnswerMessageBox(run.thread.Id(), IDOK, run.hwnd), "Please enter no more than 5 characters.");
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(run.thread.Id()) == GetDlgItem(run.hwnd, IDC_TEST_NAME); }));
    EXPECT_TRUE(IsWindow(run.hwnd));
    SetItemText(run.hwnd, IDC_TEST_NAME, "Plank");
    ClickButton(run.hwnd, IDOK);
    ASSERT_TRUE(run.thread.Join());
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(dlg.m_strName, "Plank");
}

TEST(CDialog, TemplatesByNameByHandleAndMissing)
{
    CDialog missing(IDD_TEST_MISSING, nullptr);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_EQ(missing.m_hWnd, nullptr);

    // An already loaded template without a name.
    CFormDialog dlg;
    const HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_TEST_FORM), RT_DIALOG);
    ASSERT_NE(res, nullptr);
    dlg.m_hDialogTemplate = LoadResource(nullptr, res);
    dlg.m_lpszTemplateName = nullptr;
    ModalRun run(dlg);
    ASSERT_NE(run.hwnd, nullptr);
    EXPECT_EQ(GetWindowTextString(run.hwnd), "Form");
    ClickButton(run.hwnd, IDCANCEL);
    ASSERT_TRUE(run.thread.Join());
    EXPECT_EQ(run.result, IDCANCEL);
}

TEST(CDialog, ChildPagesAreCreatedHidden)
{
    CFormDialog host;
    ASSERT_TRUE(host.Create(MAKEINTRESOURCEA(IDD_TEST_FORM), nullptr));
    CFormDialog page;
    ASSERT_TRUE(page.Create(IDD_TEST_PAGE, &host));
    EXPECT_EQ(GetParent(page.m_hWnd), host.m_hWnd);
    EXPECT_FALSE(IsWindowVisible(page.m_hWnd));
    EXPECT_TRUE(GetWindowLongPtrA(page.m_hWnd, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(page.GetDlgItemText(IDC_TEST_NAME), "Plankora");
    EXPECT_FALSE(page.Create(IDD_TEST_PAGE, &host));  // one window per object
    host.DestroyWindow();
    EXPECT_EQ(page.m_hWnd, nullptr);
    EXPECT_EQ(page.m_nDestroyed, 1);
    EXPECT_EQ(host.m_nDestroyed, 1);
}

TEST(CDialog, RuntimeClassNames)
{
    CDialog dlg;
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CDialog");
    EXPECT_TRUE(dlg.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(CWnd().IsKindOf(RUNTIME_CLASS(CDialog)));
}

}  // namespace
