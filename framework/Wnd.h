// Window objects over an HWND, run-time class names, and the message maps that route a window's messages to
// typed handlers: one static table per class, chained to its base class's table.
#pragma once

#include <windows.h>

#include <string>

// Class name and base class of a window class of the framework or the dialog library.
struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    bool IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)
#define DECLARE_DYNAMIC(theClass)                        \
public:                                                  \
    static const CRuntimeClass class##theClass;          \
    const CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(theClass, baseClass)                                                           \
    const CRuntimeClass theClass::class##theClass = {#theClass, RUNTIME_CLASS(baseClass)};               \
    const CRuntimeClass* theClass::GetRuntimeClass() const { return RUNTIME_CLASS(theClass); }

class CWnd;

// A handler thunk: unpacks the message, calls the typed handler and returns true when the message is handled
// with lResult, false when the default handling is to run as well.
using AFX_PMSG_THUNK = bool (*)(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message; WM_COMMAND and WM_NOTIFY match nCode and the control id as well
    UINT nCode;     // command or notification code
    UINT nID;       // first and last control id
    UINT nLastID;
    AFX_PMSG_THUNK pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root map
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CWnd {
public:
    static const CRuntimeClass classCWnd;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }

    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach();

    // Text, state, position and style.
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowText() const;
    BOOL EnableWindow(bool bEnable = true) { return ::EnableWindow(m_hWnd, bEnable); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    void MoveWindow(int x, int y, int cx, int cy, bool bRepaint = true) { ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint); }
    void MoveWindow(const RECT& rc, bool bRepaint = true);
    BOOL SetWindowPos(HWND hWndAfter, int x, int y, int cx, int cy, UINT nFlags)
    {
        return ::SetWindowPos(m_hWnd, hWndAfter, x, y, cx, cy, nFlags);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)); }
    // Removes then adds style bits; true when the style changed.
    bool ModifyStyle(DWORD dwRemove, DWORD dwAdd);
    void GetClientRect(RECT* prc) const { ::GetClientRect(m_hWnd, prc); }
    void GetWindowRect(RECT* prc) const { ::GetWindowRect(m_hWnd, prc); }
    void ScreenToClient(RECT* prc) const { ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(prc), 2); }
    void ClientToScreen(RECT* prc) const { ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(prc), 2); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    static HWND GetFocus() { return ::GetFocus(); }
    void Invalidate(bool bErase = true) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    bool DestroyWindow();

    // Messages.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam) != FALSE;
    }

    // Dialog items.
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetDlgItemText(int nID, const char* text) { ::SetDlgItemTextA(m_hWnd, nID, text); }
    std::string GetDlgItemText(int nID) const;
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
    }
    void CheckDlgButton(int nID, UINT nCheck) { ::CheckDlgButton(m_hWnd, nID, nCheck); }
    UINT IsDlgButtonChecked(int nID) const { return ::IsDlgButtonChecked(m_hWnd, nID); }

    // Routes a message through the message maps of the object's class and its bases: true when a handler
    // took it, with lResult.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // Keyboard messages of the modal loop: true when the message was handled and must not be dispatched.
    virtual bool PreTranslateMessage(MSG* pMsg);

protected:
    // Called after the window received WM_NCDESTROY and m_hWnd was cleared.
    virtual void PostNcDestroy() {}

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// Typed handler thunks for message-map entries.
namespace afx {
template <class F>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
    using Type = C;
};
template <auto Pfn>
using ClassOf = typename MemberClass<decltype(Pfn)>::Type;

// void OnX(): commands and control notifications by WM_COMMAND.
template <auto Pfn>
bool ThunkCommand(CWnd* p, WPARAM, LPARAM, LRESULT& lResult)
{
    (static_cast<ClassOf<Pfn>*>(p)->*Pfn)();
    lResult = 0;
    return true;
}
// void OnX(NMHDR*, LRESULT*): WM_NOTIFY from a control.
template <auto Pfn>
bool ThunkNotify(CWnd* p, WPARAM, LPARAM lParam, LRESULT& lResult)
{
    lResult = 0;
    (static_cast<ClassOf<Pfn>*>(p)->*Pfn)(reinterpret_cast<NMHDR*>(lParam), &lResult);
    return true;
}
// LRESULT OnX(WPARAM, LPARAM): any message, handled.
template <auto Pfn>
bool ThunkMessage(CWnd* p, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    lResult = (static_cast<ClassOf<Pfn>*>(p)->*Pfn)(wParam, lParam);
    return true;
}
// void OnSize(UINT nType, int cx, int cy); the default handling follows.
template <auto Pfn>
bool ThunkSize(CWnd* p, WPARAM wParam, LPARAM lParam, LRESULT&)
{
    (static_cast<ClassOf<Pfn>*>(p)->*Pfn)(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                                           static_cast<short>(HIWORD(lParam)));
    return false;
}
// void OnGetMinMaxInfo(MINMAXINFO*); the default handling follows.
template <auto Pfn>
bool ThunkMinMaxInfo(CWnd* p, WPARAM, LPARAM lParam, LRESULT&)
{
    (static_cast<ClassOf<Pfn>*>(p)->*Pfn)(reinterpret_cast<MINMAXINFO*>(lParam));
    return false;
}
// void OnX(): a notification message such as WM_DESTROY; the default handling follows.
template <auto Pfn>
bool ThunkVoid(CWnd* p, WPARAM, LPARAM, LRESULT&)
{
    (static_cast<ClassOf<Pfn>*>(p)->*Pfn)();
    return false;
}
}  // namespace afx

#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                   \
    {                                                                                 \
        using ThisClass = theClass;                                                   \
        using TheBaseClass = baseClass;                                               \
        static_assert(sizeof(ThisClass) > 0, "complete class");                       \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define END_MESSAGE_MAP()                                                                     \
    {0, 0, 0, 0, nullptr}};                                                                   \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]}; \
    return &messageMap;                                                                       \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), (id), &afx::ThunkCommand<&ThisClass::memberFxn>},
#define ON_CONTROL(code, id, memberFxn) {WM_COMMAND, (code), (id), (id), &afx::ThunkCommand<&ThisClass::memberFxn>},
#define ON_NOTIFY(code, id, memberFxn) \
    {WM_NOTIFY, static_cast<UINT>(code), (id), (id), &afx::ThunkNotify<&ThisClass::memberFxn>},
#define ON_MESSAGE(message, memberFxn) {(message), 0, 0, 0, &afx::ThunkMessage<&ThisClass::memberFxn>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, 0, &afx::ThunkSize<&ThisClass::OnSize>},
#define ON_WM_GETMINMAXINFO() {WM_GETMINMAXINFO, 0, 0, 0, &afx::ThunkMinMaxInfo<&ThisClass::OnGetMinMaxInfo>},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, &afx::ThunkVoid<&ThisClass::OnDestroy>},

// Message box with the application's name as caption, modal to the application's active window.
int AfxMessageBox(const char* text, UINT nType = MB_OK);
