// The library's folder tree dialog: the shell namespace in a tree with the chosen path, sub-folder included,
// in an editable box above it. Template IDD_FOLDER_DIALOG (10001).
#pragma once

#include "Controls.h"
#include "ResizableDialog.h"

#include <shlobj.h>

#include <string>

// The record behind each tree item, allocated with the shell allocator.
struct FOLDER_ITEM {
    LPITEMIDLIST pidlRelative;     // the item's id inside its parent folder (owned)
    LPITEMIDLIST pidlAbsolute;     // from the desktop down to the item (owned)
    IShellFolder* pParentFolder;   // the folder that contains the item; null for the desktop
    IShellFolder* pFolder;         // the item's own folder, enumerated for its children; may be null
};

class CQuFolderDialog : public CQuResizableDialog {
public:
    CQuFolderDialog(bool bCreate, CWnd* pParentWnd);
    ~CQuFolderDialog() override;

    bool m_bCreate;
    IMalloc* m_pMalloc = nullptr;
    HIMAGELIST m_hSysImageList = reinterpret_cast<HIMAGELIST>(static_cast<INT_PTR>(-1));
    bool m_bInitialised = false;
    std::string m_strFolder;     // in: initial folder (empty: documents); out: the chosen path without sub-folder
    std::string m_strSubFolder;  // in: appended to every selection; out: emptied when the path does not end so
    std::string m_strRoot;       // in: tree root (empty: desktop); after initialisation: the root's parent
    std::string m_strTitle;
    bool m_bLocalOnly = false;   // hide removable drives and the network
    std::string m_strOkText;
    std::string m_strCancelText;
    CTreeCtrl m_tree;
    std::string m_strPath;       // the edit box; out: the chosen path (relative to m_strRoot when set)

    const RESIZE_ENTRY* GetLayoutTable() const override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult);
    void OnClick(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    // Adds the folder's shown children under hParent, sorted; false when the enumeration could not start.
    bool PopulateChildren(IShellFolder* pFolder, LPCITEMIDLIST pidlFolder, HTREEITEM hParent);
    bool InsertRootItem(IShellFolder* pDesktop);
    void SelectInitialFolder(IShellFolder* pDesktop);
    // The tree item's id and the parsed id name the same child of its folder.
    bool IsSameChild(const FOLDER_ITEM* pItem, LPCITEMIDLIST id);
    // Shows the item's path (with the sub-folder, relative to the root's parent) in the edit box.
    void ApplySelection(HTREEITEM hItem);
    HTREEITEM InsertItem(FOLDER_ITEM* pItem, const char* text, HTREEITEM hParent, HTREEITEM hAfter, bool bChildren,
                         int nImage, int nSelectedImage);
    FOLDER_ITEM* NewItem();
    void FreeItem(FOLDER_ITEM* pItem);
    LPITEMIDLIST CopyIdList(LPCITEMIDLIST pidl, UINT cbLimit = 0xFFFFFFFF);
    LPITEMIDLIST CombineIdLists(LPCITEMIDLIST pidlFirst, LPCITEMIDLIST pidlSecond);
    static int CALLBACK CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);
};
