#include "Controls.h"

#include <cstring>
#include <vector>

int CComboBoxEx::InsertItem(int nIndex, const char* text, int nImage, LPARAM lParam)
{
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = nIndex;
    item.pszText = const_cast<char*>(text);
    item.iImage = nImage;
    item.iSelectedImage = nImage;
    item.lParam = lParam;
    return static_cast<int>(SendMessage(CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

LPARAM CComboBoxEx::GetItemData(int nIndex) const
{
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_LPARAM;
    item.iItem = nIndex;
    return SendMessage(CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : 0;
}

HTREEITEM CTreeCtrl::InsertItem(const char* text, HTREEITEM hParent, HTREEITEM hAfter, LPARAM lParam)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = hAfter;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.lParam = lParam;
    return InsertItem(insert);
}

LPARAM CTreeCtrl::GetItemData(HTREEITEM hItem) const
{
    TVITEMA item = {};
    item.mask = TVIF_PARAM;
    item.hItem = hItem;
    return GetItem(&item) ? item.lParam : 0;
}

std::string CTreeCtrl::GetItemText(HTREEITEM hItem) const
{
    std::vector<char> text(MAX_PATH + 1);
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    return GetItem(&item) ? std::string(item.pszText ? item.pszText : "") : std::string();
}

bool CTreeCtrl::GetItemRect(HTREEITEM hItem, RECT* prc, bool bTextOnly) const
{
    // TVM_GETITEMRECT takes the item handle in the rectangle it fills.
    std::memcpy(prc, &hItem, sizeof hItem);
    return SendMessage(TVM_GETITEMRECT, bTextOnly, reinterpret_cast<LPARAM>(prc)) != 0;
}

int CTabCtrl::InsertItem(int nItem, const char* text, LPARAM lParam)
{
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<char*>(text);
    item.lParam = lParam;
    return static_cast<int>(SendMessage(TCM_INSERTITEMA, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
}
