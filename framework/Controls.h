// Control wrappers: typed messages on a dialog item bound with DDX_Control. Controls are not subclassed.
#pragma once

#include "Wnd.h"

#include <commctrl.h>

#include <string>

class CEdit : public CWnd {
public:
    void SetSel(int nStart, int nEnd) { SendMessage(EM_SETSEL, static_cast<WPARAM>(nStart), nEnd); }
    void LimitText(int nChars) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(nChars)); }
    void ReplaceSel(const char* text) { SendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text)); }
    void ScrollCaret() { SendMessage(EM_SCROLLCARET); }
};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper); }
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// Extended combo box: items with text and an image of the control's image list.
class CComboBoxEx : public CWnd {
public:
    HIMAGELIST SetImageList(HIMAGELIST hImageList)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(hImageList)));
    }
    // Index of the new item, -1 on failure.
    int InsertItem(int nIndex, const char* text, int nImage, LPARAM lParam = 0);
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int nIndex) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nIndex))); }
    LPARAM GetItemData(int nIndex) const;
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
};

class CTreeCtrl : public CWnd {
public:
    HTREEITEM InsertItem(const TVINSERTSTRUCTA& insert)
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    HTREEITEM InsertItem(const char* text, HTREEITEM hParent = TVI_ROOT, HTREEITEM hAfter = TVI_LAST,
                         LPARAM lParam = 0);
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    bool SelectItem(HTREEITEM hItem) { return SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)) != 0; }
    bool Expand(HTREEITEM hItem, UINT nCode) { return SendMessage(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)) != 0; }
    bool EnsureVisible(HTREEITEM hItem) { return SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem)) != 0; }
    bool GetItem(TVITEMA* pItem) const { return SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(pItem)) != 0; }
    bool SetItem(const TVITEMA* pItem) { return SendMessage(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(pItem)) != 0; }
    LPARAM GetItemData(HTREEITEM hItem) const;
    std::string GetItemText(HTREEITEM hItem) const;
    // The item's text rectangle (bTextOnly) or whole line, in the control's client coordinates.
    bool GetItemRect(HTREEITEM hItem, RECT* prc, bool bTextOnly) const;
    HIMAGELIST SetImageList(HIMAGELIST hImageList, int nType)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(nType),
                                                        reinterpret_cast<LPARAM>(hImageList)));
    }
    bool SortChildrenCB(const TVSORTCB* pSort)
    {
        return SendMessage(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(pSort)) != 0;
    }
    bool DeleteAllItems() { return SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)) != 0; }
};

class CTabCtrl : public CWnd {
public:
    int InsertItem(int nItem, const char* text, LPARAM lParam = 0);
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int nItem) { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(nItem))); }
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    // bLarger false: the display area of a window rectangle.
    void AdjustRect(bool bLarger, RECT* prc) { SendMessage(TCM_ADJUSTRECT, bLarger, reinterpret_cast<LPARAM>(prc)); }
};
