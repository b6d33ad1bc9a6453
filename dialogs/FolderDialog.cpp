#include "FolderDialog.h"

#include "ErrorReport.h"
#include "FolderBrowser.h"
#include "FolderPathText.h"
#include "NamedObjects.h"
#include "PlatformUtils.h"
#include "WinApp.h"
#include "resource.h"

#include <imagehlp.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

BEGIN_MESSAGE_MAP(CQuFolderDialog, CQuResizableDialog)
    ON_NOTIFY(TVN_ITEMEXPANDINGA, IDC_FOLDER_TREE, OnItemExpanding)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_FOLDER_TREE, OnSelChanged)
    ON_NOTIFY(TVN_DELETEITEMA, IDC_FOLDER_TREE, OnDeleteItem)
    ON_NOTIFY(NM_CLICK, IDC_FOLDER_TREE, OnClick)
END_MESSAGE_MAP()

namespace {

LPCITEMIDLIST NextId(LPCITEMIDLIST pidl)
{
    return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(pidl) + pidl->mkid.cb);
}

// Bytes of the list without its terminator.
UINT IdListSize(LPCITEMIDLIST pidl)
{
    UINT cb = 0;
    for (; pidl && pidl->mkid.cb; pidl = NextId(pidl))
        cb += pidl->mkid.cb;
    return cb;
}

// The first ids of both lists are the same bytes.
bool SameId(LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    return a && b && a->mkid.cb == b->mkid.cb && std::memcmp(a, b, a->mkid.cb) == 0;
}

std::wstring Widen(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// The icon index of SHGetFileInfoA on an item id list, -1 when it fails.
int ItemIcon(LPCITEMIDLIST pidl, UINT flags)
{
    SHFILEINFOA info = {};
    if (!SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl), 0, &info, sizeof info, flags))
        return -1;
    return info.iIcon;
}

constexpr UINT ICON_FLAGS = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;  // 0x4009
constexpr UINT OPEN_ICON_FLAGS = ICON_FLAGS | SHGFI_OPENICON;                  // 0x400B

// m_strPath made relative to the directory base, canonicalized; unchanged when no relative path exists.
bool MakeRelative(const std::string& base, std::string& path, bool bDotIsEmpty)
{
    char rel[MAX_PATH], canonical[MAX_PATH];
    if (!PathRelativePathToA(rel, base.c_str(), FILE_ATTRIBUTE_DIRECTORY, path.c_str(), FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (bDotIsEmpty && lstrcmpA(rel, ".") == 0)
        path.clear();
    else
        path = PathCanonicalizeA(canonical, rel) ? canonical : rel;
    return true;
}

}  // namespace

CQuFolderDialog::CQuFolderDialog(bool bCreate, CWnd* pParentWnd)
    : CQuResizableDialog(IDD_FOLDER_DIALOG, pParentWnd), m_bCreate(bCreate)
{
    if (FAILED(SHGetMalloc(&m_pMalloc)))
        m_pMalloc = nullptr;
}

CQuFolderDialog::~CQuFolderDialog()
{
    if (m_pMalloc)
        m_pMalloc->Release();
}

const RESIZE_ENTRY* CQuFolderDialog::GetLayoutTable() const
{
    static const RESIZE_ENTRY table[] = {
        {IDC_FOLDER_PATH, RSZ_SIZE_X},
        {IDC_FOLDER_TREE, RSZ_SIZE_X | RSZ_SIZE_Y},
        {IDOK, RSZ_MOVE_Y | RSZ_MOVE_HALF_X},
        {IDCANCEL, RSZ_MOVE_Y | RSZ_MOVE_HALF_X},
        {IDC_SIZEGRIP, RSZ_MOVE_X | RSZ_MOVE_Y},
    };
    return table;
}

void CQuFolderDialog::DoDataExchange(CDataExchange* pDX)
{
    CQuResizableDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FOLDER_TREE, m_tree);
    DDX_Text(pDX, IDC_FOLDER_PATH, m_strPath);
    DDV_MaxChars(pDX, m_strPath, MAX_PATH);
}

FOLDER_ITEM* CQuFolderDialog::NewItem()
{
    auto* pItem = static_cast<FOLDER_ITEM*>(m_pMalloc->Alloc(sizeof(FOLDER_ITEM)));
    if (pItem)
        *pItem = FOLDER_ITEM{nullptr, nullptr, nullptr, nullptr};
    return pItem;
}

void CQuFolderDialog::FreeItem(FOLDER_ITEM* pItem)
{
    if (!pItem)
        return;
    if (pItem->pidlRelative)
        m_pMalloc->Free(pItem->pidlRelative);
    if (pItem->pidlAbsolute)
        m_pMalloc->Free(pItem->pidlAbsolute);
    if (pItem->pFolder)
        pItem->pFolder->Release();
    if (pItem->pParentFolder)
        pItem->pParentFolder->Release();
    m_pMalloc->Free(pItem);
}

LPITEMIDLIST CQuFolderDialog::CopyIdList(LPCITEMIDLIST pidl, UINT cbLimit)
{
    UINT cb = IdListSize(pidl);
    if (cb > cbLimit)
        cb = cbLimit;
    auto* copy = static_cast<BYTE*>(m_pMalloc->Alloc(cb + sizeof(USHORT)));
    if (!copy)
        return nullptr;
    if (cb)
        std::memcpy(copy, pidl, cb);
    std::memset(copy + cb, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST CQuFolderDialog::CombineIdLists(LPCITEMIDLIST pidlFirst, LPCITEMIDLIST pidlSecond)
{
    const UINT cb1 = IdListSize(pidlFirst), cb2 = IdListSize(pidlSecond);
    auto* list = static_cast<BYTE*>(m_pMalloc->Alloc(cb1 + cb2 + sizeof(USHORT)));
    if (!list)
        return nullptr;
    if (cb1)
        std::memcpy(list, pidlFirst, cb1);
    if (cb2)
        std::memcpy(list + cb1, pidlSecond, cb2);
    std::memset(list + cb1 + cb2, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(list);
}

HTREEITEM CQuFolderDialog::InsertItem(FOLDER_ITEM* pItem, const char* text, HTREEITEM hParent, HTREEITEM hAfter,
                                      bool bChildren, int nImage, int nSelectedImage)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = hAfter;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.iImage = nImage;
    insert.item.iSelectedImage = nSelectedImage;
    insert.item.cChildren = bChildren ? 1 : 0;
    insert.item.lParam = reinterpret_cast<LPARAM>(pItem);
    const HTREEITEM hItem = m_tree.InsertItem(insert);
    // An item the tree did not take gets no TVN_DELETEITEM: its record is freed here.
    if (!hItem)
        FreeItem(pItem);
    return hItem;
}

BOOL CQuFolderDialog::OnInitDialog()
{
    CWaitCursor wait;
    if (!m_strTitle.empty())
        SetWindowText(m_strTitle.c_str());
    SetDlgItemText(IDOK, m_strOkText.c_str());
    SetDlgItemText(IDCANCEL, m_strCancelText.c_str());

    if (m_strFolder.empty() && m_pMalloc) {
        LPITEMIDLIST pidl = nullptr;
        char path[MAX_PATH];
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &pidl)) && pidl) {
            if (SHGetPathFromIDListA(pidl, path))
                m_strFolder = path;
            m_pMalloc->Free(pidl);
        }
    }
    m_strPath = m_strFolder;
    if (!m_strSubFolder.empty()) {
        if (!m_strPath.empty() && m_strPath.back() == '\\')
            m_strPath.pop_back();
        char path[MAX_PATH];
        if (!EndsWithSubFolder(m_strPath, m_strSubFolder) && m_strPath.size() < MAX_PATH) {
            lstrcpynA(path, m_strPath.c_str(), MAX_PATH);
            if (PathAppendA(path, m_strSubFolder.c_str()))
                m_strPath = path;
        }
    }
    if (!m_strRoot.empty() && m_strRoot.back() == '\\')
        m_strRoot.pop_back();

    const BOOL result = CQuResizableDialog::OnInitDialog();

    const OSVERSIONINFOEXA& version = GetOsVersionInfo();
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6)
        ApplyWindowTheme(m_tree.m_hWnd, L"explorer", nullptr);
    if (!m_pMalloc)
        return result;

    IShellFolder* pDesktop = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&pDesktop)) && pDesktop) {
        // The system's small-icon list: shared by the process, so the tree never destroys it.
        SHFILEINFOA info = {};
        m_hSysImageList = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoA("", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
        m_tree.SetImageList(m_hSysImageList, TVSIL_NORMAL);
        const bool bRoot = InsertRootItem(pDesktop);
        if (bRoot)
            SelectInitialFolder(pDesktop);
        pDesktop->Release();
        if (!bRoot)
            return result;
    }

    // From here on m_strRoot is the root's parent, the base of the paths shown and typed.
    if (!m_strRoot.empty()) {
        char root[MAX_PATH];
        lstrcpynA(root, m_strRoot.c_str(), MAX_PATH);
        if (PathRemoveFileSpecA(root) && *root) {
            m_strRoot = root;
            MakeRelative(m_strRoot, m_strPath, false);
        } else {
            m_strRoot.clear();
        }
    }
    SetDlgItemText(IDC_FOLDER_PATH, m_strPath.c_str());
    m_bInitialised = true;
    return result;
}

bool CQuFolderDialog::InsertRootItem(IShellFolder* pDesktop)
{
    FOLDER_ITEM* pItem = NewItem();
    if (!pItem)
        return false;
    std::string text;
    int nImage = -1, nSelected = -1;
    LPITEMIDLIST pidlRoot = nullptr;
    // A root the shell cannot parse or bind is left out: the tree shows the whole namespace instead.
    if (!m_strRoot.empty()) {
        std::wstring wide = Widen(m_strRoot);
        if (SUCCEEDED(pDesktop->ParseDisplayName(m_hWnd, nullptr, &wide[0], nullptr, &pidlRoot, nullptr)) && pidlRoot &&
            SUCCEEDED(pDesktop->BindToObject(pidlRoot, nullptr, IID_IShellFolder,
                                             reinterpret_cast<void**>(&pItem->pFolder))) &&
            pItem->pFolder) {
            pItem->pidlAbsolute = pidlRoot;
            pItem->pParentFolder = pItem->pFolder;
            pItem->pParentFolder->AddRef();
            LPCITEMIDLIST last = pidlRoot;
            for (LPCITEMIDLIST p = pidlRoot; p->mkid.cb; p = NextId(p))
                last = p;
            pItem->pidlRelative = CopyIdList(last, last->mkid.cb);
            nSelected = ItemIcon(pidlRoot, OPEN_ICON_FLAGS);
            SHFILEINFOA info = {};
            if (SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidlRoot), 0, &info, sizeof info,
                               ICON_FLAGS | SHGFI_DISPLAYNAME)) {
                text = info.szDisplayName;
                nImage = info.iIcon;
            }
        } else {
            if (pidlRoot)
                m_pMalloc->Free(pidlRoot);
            m_strRoot.clear();
        }
    }
    // The desktop: its own folder is the desktop folder, its ids the empty list.
    if (m_strRoot.empty()) {
        STRRET name = {};
        char buffer[MAX_PATH] = {};
        LPITEMIDLIST pidlDesktop = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &pidlDesktop)))
            pidlDesktop = nullptr;
        const USHORT empty = 0;
        LPCITEMIDLIST pidlName = pidlDesktop ? pidlDesktop : reinterpret_cast<LPCITEMIDLIST>(&empty);
        if (FAILED(pDesktop->GetDisplayNameOf(pidlName, SHGDN_NORMAL, &name)) ||
            FAILED(StrRetToBufA(&name, pidlName, buffer, MAX_PATH))) {
            if (pidlDesktop)
                m_pMalloc->Free(pidlDesktop);
            FreeItem(pItem);
            return false;
        }
        text = buffer;
        pItem->pidlRelative = pidlDesktop;
        pItem->pidlAbsolute = pidlDesktop ? CopyIdList(pidlDesktop) : nullptr;
        pItem->pFolder = pDesktop;
        pDesktop->AddRef();
        nImage = ItemIcon(pidlName, ICON_FLAGS);
        nSelected = ItemIcon(pidlName, OPEN_ICON_FLAGS);
    }
    const HTREEITEM hRoot = InsertItem(pItem, text.c_str(), TVI_ROOT, TVI_LAST, true, nImage, nSelected);
    if (!hRoot)
        return false;
    PopulateChildren(pItem->pFolder, pItem->pidlAbsolute, hRoot);
    m_tree.Expand(hRoot, TVE_EXPAND);
    return true;
}

bool CQuFolderDialog::IsSameChild(const FOLDER_ITEM* pItem, LPCITEMIDLIST id)
{
    if (SameId(pItem->pidlRelative, id))
        return true;
    // The bytes of a parsed and an enumerated id may differ (file times read at different moments): the
    // folder that holds both decides.
    if (!pItem->pParentFolder || !pItem->pidlRelative)
        return false;
    LPITEMIDLIST single = CopyIdList(id, id->mkid.cb);
    if (!single)
        return false;
    const HRESULT hr = pItem->pParentFolder->CompareIDs(0, pItem->pidlRelative, single);
    m_pMalloc->Free(single);
    return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0;
}

void CQuFolderDialog::SelectInitialFolder(IShellFolder* pDesktop)
{
    std::string folder = m_strFolder;
    if (!folder.empty() && folder.back() == ':')
        folder += '\\';
    if (folder.empty() || folder.size() >= MAX_PATH)
        return;
    char path[MAX_PATH];
    lstrcpynA(path, folder.c_str(), MAX_PATH);
    while (!PathFileExistsA(path))
        if (!PathRemoveFileSpecA(path) || !*path)
            return;
    std::wstring wide = Widen(path);
    LPITEMIDLIST pidl = nullptr;
    if (FAILED(pDesktop->ParseDisplayName(m_hWnd, nullptr, &wide[0], nullptr, &pidl, nullptr)) || !pidl)
        return;
    // Down the tree id by id from the root, expanding on the way; the last folder found stays selected.
    HTREEITEM hCurrent = m_tree.GetRootItem();
    const auto* pRoot = reinterpret_cast<const FOLDER_ITEM*>(m_tree.GetItemData(hCurrent));
    LPCITEMIDLIST id = pidl;
    for (LPCITEMIDLIST rootId = pRoot ? pRoot->pidlAbsolute : nullptr; rootId && rootId->mkid.cb && SameId(id, rootId);
         rootId = NextId(rootId))
        id = NextId(id);
    while (hCurrent && id->mkid.cb) {
        HTREEITEM hFound = nullptr;
        for (HTREEITEM hChild = m_tree.GetChildItem(hCurrent); hChild; hChild = m_tree.GetNextSiblingItem(hChild)) {
            if (m_tree.GetParentItem(hChild) != hCurrent)
                break;
            const auto* pItem = reinterpret_cast<const FOLDER_ITEM*>(m_tree.GetItemData(hChild));
            if (pItem && IsSameChild(pItem, id)) {
                hFound = hChild;
                break;
            }
        }
        if (!hFound)
            break;
        m_tree.SelectItem(hFound);
        id = NextId(id);
        if (id->mkid.cb)
            m_tree.Expand(hFound, TVE_EXPAND);
        hCurrent = hFound;
    }
    m_pMalloc->Free(pidl);
}

bool CQuFolderDialog::PopulateChildren(IShellFolder* pFolder, LPCITEMIDLIST pidlFolder, HTREEITEM hParent)
{
    if (!m_pMalloc || !pFolder)
        return false;
    SHELLFLAGSTATE state = {};
    SHGetSettings(&state, SSF_SHOWALLOBJECTS);
    const SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | (state.fShowAllObjects ? SHCONTF_INCLUDEHIDDEN : 0);
    IEnumIDList* pEnum = nullptr;
    if (pFolder->EnumObjects(m_hWnd, flags, &pEnum) != S_OK || !pEnum)
        return false;
    LPITEMIDLIST pidlNetwork = nullptr;
    if (m_bLocalOnly && FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_NETWORK, &pidlNetwork)))
        pidlNetwork = nullptr;
    const OSVERSIONINFOEXA& version = GetOsVersionInfo();
    ULONG asked = SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (m_bLocalOnly)
        asked |= SFGAO_REMOVABLE;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        asked |= SFGAO_BROWSABLE;

    HTREEITEM hAfter = TVI_FIRST;
    LPITEMIDLIST pidl = nullptr;
    while (pEnum->Next(1, &pidl, nullptr) == S_OK && pidl) {
        ULONG attributes = asked;
        LPCITEMIDLIST items[] = {pidl};
        if (FAILED(pFolder->GetAttributesOf(1, items, &attributes)))
            attributes = 0;
        attributes &= asked;
        if (m_bLocalOnly && pidlNetwork && SameId(pidl, pidlNetwork))
            attributes |= SFGAO_REMOVABLE;
        const bool bShown = (attributes & SFGAO_FOLDER) && (attributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR)) &&
                            !(attributes & (SFGAO_REMOVABLE | SFGAO_BROWSABLE));
        if (!bShown) {
            m_pMalloc->Free(pidl);
            continue;
        }
        // StrRetToBufA converts a UTF-16 name to the ANSI code page and frees it with the task allocator.
        FOLDER_ITEM* pItem = NewItem();
        STRRET name = {};
        char text[MAX_PATH] = {};
        if (!pItem || FAILED(pFolder->GetDisplayNameOf(pidl, SHGDN_NORMAL, &name)) ||
            FAILED(StrRetToBufA(&name, pidl, text, MAX_PATH))) {
            // An item that cannot be named or recorded ends the enumeration; what was added stays.
            m_pMalloc->Free(pidl);
            if (pItem)
                FreeItem(pItem);
            break;
        }
        pItem->pidlRelative = pidl;
        pItem->pParentFolder = pFolder;
        pFolder->AddRef();
        if (FAILED(pFolder->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&pItem->pFolder))))
            pItem->pFolder = nullptr;
        pItem->pidlAbsolute = CombineIdLists(pidlFolder, pidl);
        const int nImage = pItem->pidlAbsolute ? ItemIcon(pItem->pidlAbsolute, ICON_FLAGS) : -1;
        const int nSelected = pItem->pidlAbsolute ? ItemIcon(pItem->pidlAbsolute, OPEN_ICON_FLAGS) : -1;
        if (const HTREEITEM hItem =
                InsertItem(pItem, text, hParent, hAfter, (attributes & SFGAO_HASSUBFOLDER) != 0, nImage, nSelected))
            hAfter = hItem;
    }
    pEnum->Release();
    if (pidlNetwork)
        m_pMalloc->Free(pidlNetwork);
    TVSORTCB sort = {hParent, CompareItems, 0};
    m_tree.SortChildrenCB(&sort);
    return true;
}

int CALLBACK CQuFolderDialog::CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM)
{
    const auto* a = reinterpret_cast<const FOLDER_ITEM*>(lParam1);
    const auto* b = reinterpret_cast<const FOLDER_ITEM*>(lParam2);
    if (!a || !b || !a->pParentFolder)
        return 0;
    const HRESULT hr = a->pParentFolder->CompareIDs(0, a->pidlRelative, b->pidlRelative);
    if (FAILED(hr))
        return 0;
    const short order = static_cast<short>(HRESULT_CODE(hr));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

void CQuFolderDialog::OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;  // expanding is always allowed
    const auto* pnm = reinterpret_cast<const NMTREEVIEWA*>(pNMHDR);
    const HTREEITEM hItem = pnm->itemNew.hItem;
    if (!(pnm->action & TVE_EXPAND) || m_tree.GetChildItem(hItem))
        return;
    const auto* pItem = reinterpret_cast<const FOLDER_ITEM*>(m_tree.GetItemData(hItem));
    // A folder that could not be bound can never show children: it loses its button like an empty one.
    const bool bRan = pItem && PopulateChildren(pItem->pFolder, pItem->pidlAbsolute, hItem);
    if ((bRan || (pItem && !pItem->pFolder)) && !m_tree.GetChildItem(hItem)) {
        TVITEMA item = {};
        item.mask = TVIF_CHILDREN;
        item.hItem = hItem;
        item.cChildren = 0;
        m_tree.SetItem(&item);
    }
}

void CQuFolderDialog::ApplySelection(HTREEITEM hItem)
{
    const auto* pItem = reinterpret_cast<const FOLDER_ITEM*>(m_tree.GetItemData(hItem));
    if (!pItem)
        return;
    char path[MAX_PATH] = {};
    if (pItem->pidlAbsolute) {
        if (!SHGetPathFromIDListA(pItem->pidlAbsolute, path))
            path[0] = '\0';
    } else if (!SHGetSpecialFolderPathA(m_hWnd, path, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        path[0] = '\0';
    }
    if (!*path)
        return;
    m_strPath = path;
    if (!m_strSubFolder.empty() && !EndsWithSubFolder(m_strPath, m_strSubFolder) && PathAppendA(path, m_strSubFolder.c_str()))
        m_strPath = path;
    if (!m_strRoot.empty())
        MakeRelative(m_strRoot, m_strPath, false);
    SetDlgItemText(IDC_FOLDER_PATH, m_strPath.c_str());
    SendDlgItemMessage(IDC_FOLDER_PATH, EM_SETSEL, 0, -1);
    SendDlgItemMessage(IDC_FOLDER_PATH, EM_SCROLLCARET);
}

void CQuFolderDialog::OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    if (m_bInitialised)
        ApplySelection(reinterpret_cast<const NMTREEVIEWA*>(pNMHDR)->itemNew.hItem);
}

void CQuFolderDialog::OnClick(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    const HTREEITEM hSelected = m_tree.GetSelectedItem();
    if (!m_bInitialised || !hSelected)
        return;
    const DWORD pos = GetMessagePos();
    POINT pt = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ::ScreenToClient(m_tree.m_hWnd, &pt);
    RECT rc;
    // A click on the selected item's label puts its path back into the edit box.
    if (m_tree.GetItemRect(hSelected, &rc, true) && PtInRect(&rc, pt))
        ApplySelection(hSelected);
}

void CQuFolderDialog::OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult)
{
    *pResult = 0;
    FreeItem(reinterpret_cast<FOLDER_ITEM*>(reinterpret_cast<const NMTREEVIEWA*>(pNMHDR)->itemOld.lParam));
}

void CQuFolderDialog::OnOK()
{
    if (!UpdateData(true))
        return;
    std::string qualified;
    if (const DWORD code = CheckTypedTreePath(m_strPath.c_str(), m_strRoot.c_str(), qualified)) {
        ReportSystemError(code, "%s", 0);
        return;
    }
    m_strPath = qualified;
    if (m_bCreate) {
        char path[MAX_PATH + 1];
        lstrcpynA(path, m_strPath.c_str(), MAX_PATH);
        PathAddBackslashA(path);
        if (!MakeSureDirectoryPathExists(path)) {
            ReportSystemError(GetLastError(), "%s", 0);
            return;
        }
    }
    SplitSubFolder(m_strPath, m_strSubFolder, m_strFolder);
    if (!m_strRoot.empty())
        MakeRelative(m_strRoot, m_strPath, true);
    EndDialog(IDOK);
}
