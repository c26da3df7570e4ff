#include "builder/ui/file_list_page.h"

#include "builder/ui/resource.h"
#include "builder/settings/settings_records.h"
#include "builder/settings/startup.h"
#include "core/long_path.h"
#include "core/os_info.h"

#include <commdlg.h>
#include <windowsx.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <vector>

namespace {

constexpr ULONG SHELL_CAN_LINK = 0x4;
constexpr ULONG SHELL_CAPABILITY_MASK = 0xF0F;
constexpr ULONG SHELL_FILE_SYSTEM = 0x40000000;
constexpr ULONG SHELL_HIDDEN = 0x80000;
constexpr ULONG SHELL_LINK = 0x10000;
constexpr ULONG SHELL_SHARE = 0x20000;

// Largest text a row hands to the list at a time.
constexpr size_t ROW_TEXT_CHARS = 260;

// Every chooser result fits: folder and names, each ended by a zero.
constexpr DWORD CHOOSER_BUFFER_CHARS = 1048576;

enum ContextCommand { CMD_PASTE = 1, CMD_ADD, CMD_REMOVE, CMD_REMOVE_ALL };

bool KeyHeld(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

// Copies a text into the list's buffer; a text that does not fit ends in
// "..." so that a cut name is never mistaken for a whole one.
void CopyRowText(const std::wstring& text, wchar_t* out, int outChars)
{
    if (!out || outChars <= 0) return;
    size_t room = static_cast<size_t>(outChars) - 1;
    if (text.size() <= room) {
        std::copy(text.begin(), text.end(), out);
        out[text.size()] = L'\0';
        return;
    }
    size_t keep = room >= 3 ? room - 3 : 0;
    std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(keep), out);
    for (size_t i = keep; i < room; ++i)
        out[i] = L'.';
    out[room] = L'\0';
}

std::wstring DisplayName(const CSourceItem& item)
{
    if (item.m_pParentFolder && item.m_pidlRelative) {
        STRRET name{};
        if (SUCCEEDED(item.m_pParentFolder->GetDisplayNameOf(item.m_pidlRelative, SHGDN_INFOLDER, &name))) {
            wchar_t buffer[MAX_PATH * 2] = {};
            if (SUCCEEDED(StrRetToBufW(&name, item.m_pidlRelative, buffer, MAX_PATH * 2))) return buffer;
        }
    }
    if (item.m_pidlAbsolute) {
        SHFILEINFOW info{};
        if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item.m_pidlAbsolute), 0, &info, sizeof(info),
                           SHGFI_PIDL | SHGFI_DISPLAYNAME))
            return info.szDisplayName;
    }
    return zk::LastComponent(item.GetPath());
}

// The size as a folder window shows it: kilobytes for a file, nothing for a
// folder.
std::wstring SizeText(const CSourceItem& item)
{
    if (item.m_nShellAttributes & SFGAO_FOLDER) return {};
    std::wstring path = item.GetPath();
    if (path.empty()) return {};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(zk::LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) return {};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
    LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    wchar_t buffer[64] = {};
    StrFormatKBSizeW(size, buffer, 64);
    return buffer;
}

} // namespace

bool IsRefusedSourceItem(ULONG shellAttributes, DWORD fileAttributes, bool includeHidden, int osVersionCode)
{
    bool isVirtual = (shellAttributes & SHELL_CAPABILITY_MASK) == SHELL_CAN_LINK && fileAttributes == 0;
    if (isVirtual) return true;
    if ((shellAttributes & SHELL_FILE_SYSTEM) && (fileAttributes & FILE_ATTRIBUTE_SYSTEM)) return true;
    if ((shellAttributes & SHELL_HIDDEN) && (fileAttributes & FILE_ATTRIBUTE_HIDDEN) && !includeHidden)
        return true;
    // Codes 7 to 9: Windows XP, Server 2003 and Server 2003 R2.
    bool xpGeneration = osVersionCode >= 7 && osVersionCode <= 9;
    if (xpGeneration)
        return (shellAttributes & 0xF0000F0F) == 0xF000010C && (fileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return isVirtual;
}

// ---- CSourceListCtrl ----

LRESULT CSourceListCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_KEYDOWN:
        if (OnKeyDown(wParam)) return 0;
        return Default(msg, wParam, lParam);
    case WM_RBUTTONDOWN: {
        // Not passed on: the selection stays as it is under the menu.
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(Hwnd(), &pt);
        m_pPage->ShowContextMenu(pt);
        return 0;
    }
    case WM_DROPFILES:
        m_pPage->DropSources(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}

bool CSourceListCtrl::OnKeyDown(WPARAM key)
{
    bool shift = KeyHeld(VK_SHIFT);
    bool ctrl = KeyHeld(VK_CONTROL);
    bool alt = KeyHeld(VK_MENU);
    if (key == VK_DELETE && !shift && !ctrl && !alt) {
        m_pPage->RemoveSelectedSources();
        m_pPage->RefreshFileListPage();
        return true;
    }
    if (ctrl && !shift && !alt) {
        switch (key) {
        case VK_DELETE:
            m_pPage->RemoveAllSources();
            m_pPage->RefreshFileListPage();
            return true;
        case 'A':
            m_pPage->SelectAll();
            m_pPage->RefreshFileListPage();
            return true;
        case 'V':
            m_pPage->PasteSources();
            return true;
        default:
            break;
        }
    }
    // Any other key with a modifier does nothing; the modifier keys
    // themselves pass.
    if ((shift || ctrl || alt) && key != VK_SHIFT && key != VK_CONTROL && key != VK_MENU) return true;
    return false;
}

// ---- CFileListPage ----

CFileListPage::CFileListPage(IWizardHost* wizard) : CWizardPage(IDD_PAGE_FILES, wizard) {}

CFileListPage::~CFileListPage() = default;

HWND CFileListPage::List() const
{
    return Item(IDC_SOURCE_LIST);
}

BOOL CFileListPage::OnInitDialog()
{
    HWND list = List();
    m_list.Attach(list);
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER |
                                                LVS_EX_HEADERINALLVIEWS);
    ListView_SetCallbackMask(list, LVIS_OVERLAYMASK | LVIS_CUT);
    DragAcceptFiles(list, TRUE);

    struct Column {
        const wchar_t* caption;
        int format;
        int width;
    };
    const Column columns[] = {
        {L"名前", LVCFMT_LEFT, 190}, {L"サイズ", LVCFMT_RIGHT, 80}, {L"場所", LVCFMT_LEFT, 300}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = columns[i].width;
        column.pszText = const_cast<wchar_t*>(columns[i].caption);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    if (m_pWizard->SystemImageList()) ListView_SetImageList(list, m_pWizard->SystemImageList(), LVSIL_SMALL);

    if (m_pWizard->UxTheme()) {
        using SetThemeFunc = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
        auto setTheme =
            reinterpret_cast<SetThemeFunc>(GetProcAddress(m_pWizard->UxTheme(), "SetWindowTheme"));
        if (setTheme) setTheme(list, L"explorer", nullptr);
    }
    EnableItem(IDC_REMOVE, false);
    return TRUE;
}

void CFileListPage::OnDestroy()
{
    RemoveAllSources();
}

void CFileListPage::OnSetActive()
{
    SetActiveWindow(m_pWizard->HostWindow());
    SetFocus(List());
    RefreshFileListPage();
}

bool CFileListPage::OnCommand(int id, int code, HWND ctl)
{
    if (code != BN_CLICKED) return CWizardPage::OnCommand(id, code, ctl);
    switch (id) {
    case IDC_ADD:
        ChooseSources();
        RefreshFileListPage();
        return true;
    case IDC_REMOVE:
        RemoveSelectedSources();
        RefreshFileListPage();
        return true;
    default:
        return CWizardPage::OnCommand(id, code, ctl);
    }
}

LRESULT CFileListPage::OnNotify(int id, NMHDR* header)
{
    if (id != IDC_SOURCE_LIST) return 0;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        FillDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case NM_CLICK:
        RefreshFileListPage();
        return 0;
    case LVN_ITEMCHANGED: {
        // Keyboard selection changes enable "削除" just as clicks do.
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED))
            EnableItem(IDC_REMOVE, ListView_GetSelectedCount(List()) > 0);
        return 0;
    }
    default:
        return 0;
    }
}

// Every row asks for its texts, icon and state here each time it is drawn.
void CFileListPage::FillDisplayInfo(NMLVDISPINFOW* info)
{
    LVITEMW& row = info->item;
    auto* item = reinterpret_cast<CSourceItem*>(row.lParam);
    if (!item) {
        LVITEMW query{};
        query.mask = LVIF_PARAM;
        query.iItem = row.iItem;
        if (ListView_GetItem(List(), &query)) item = reinterpret_cast<CSourceItem*>(query.lParam);
    }
    if (!item) return;

    if (row.mask & LVIF_TEXT) {
        switch (row.iSubItem) {
        case 0:
            m_strDisplay = item->IsResolved() ? DisplayName(*item) : zk::LastComponent(item->m_strStoredPath);
            break;
        case 1:
            m_strDisplay = item->IsResolved() ? SizeText(*item) : std::wstring();
            break;
        default:
            if (!item->IsResolved()) {
                m_strDisplay = L"存在しません";
            } else {
                std::wstring path = item->GetPath();
                m_strDisplay = path.empty() ? std::wstring() : zk::ParentFolder(path);
            }
            break;
        }
        CopyRowText(m_strDisplay, row.pszText, std::min<int>(row.cchTextMax, ROW_TEXT_CHARS));
    }
    if ((row.mask & LVIF_IMAGE) && row.iSubItem == 0) {
        row.iImage = -1;
        if (item->m_pidlAbsolute) {
            SHFILEINFOW icon{};
            if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item->m_pidlAbsolute), 0, &icon, sizeof(icon),
                               SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
                row.iImage = icon.iIcon;
        }
    }
    if (row.mask & LVIF_STATE) {
        UINT state = 0;
        ULONG shell = item->m_nShellAttributes;
        DWORD file = item->m_nFileAttributes;
        if ((shell & SHELL_LINK) && (file & FILE_ATTRIBUTE_ARCHIVE)) state = INDEXTOOVERLAYMASK(2);
        if (shell & SHELL_SHARE) state = INDEXTOOVERLAYMASK(1);
        if ((shell & SHELL_HIDDEN) && (file & FILE_ATTRIBUTE_HIDDEN)) state |= LVIS_CUT;
        row.state = (row.state & ~(LVIS_OVERLAYMASK | LVIS_CUT)) | state;
        row.stateMask |= LVIS_OVERLAYMASK | LVIS_CUT;
    }
}

void CFileListPage::AppendRow(CSourceItem* item)
{
    HWND list = List();
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    row.iItem = ListView_GetItemCount(list);
    row.pszText = LPSTR_TEXTCALLBACKW;
    row.iImage = I_IMAGECALLBACK;
    row.lParam = reinterpret_cast<LPARAM>(item);
    int index = ListView_InsertItem(list, &row);
    if (index < 0) return;
    ListView_SetItemText(list, index, 1, LPSTR_TEXTCALLBACKW);
    ListView_SetItemText(list, index, 2, LPSTR_TEXTCALLBACKW);
}

bool CFileListPage::IsDuplicate(const CSourceItem& item) const
{
    IShellFolder* desktop = m_pWizard->Prm().m_shellDesktop.m_pDesktop;
    if (!desktop || !item.m_pidlAbsolute) return false;
    for (const auto& other : m_pWizard->Prm().m_listSources) {
        if (!other->m_pidlAbsolute) continue;
        HRESULT hr = desktop->CompareIDs(0, item.m_pidlAbsolute, other->m_pidlAbsolute);
        if (SUCCEEDED(hr) && static_cast<short>(HRESULT_CODE(hr)) == 0) return true;
    }
    return false;
}

void CFileListPage::AddSource(const std::wstring& path, bool checkDuplicates)
{
    CVosmirePrm& prm = m_pWizard->Prm();
    std::unique_ptr<CSourceItem> item = prm.m_shellDesktop.ParseItem(path);
    if (!item) {
        item = std::make_unique<CSourceItem>(path);
    } else {
        bool includeHidden = m_pWizard->Env().m_bIncludeHidden != 0;
        if (IsRefusedSourceItem(item->m_nShellAttributes, item->m_nFileAttributes, includeHidden,
                                zk::OsVersionCode()))
            return;
        if (checkDuplicates && IsDuplicate(*item)) return;
    }
    CSourceItem* raw = item.get();
    prm.m_listSources.push_back(std::move(item));
    AppendRow(raw);
}

void CFileListPage::ChooseSources()
{
    std::vector<wchar_t> buffer(CHOOSER_BUFFER_CHARS, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = List();
    ofn.lpstrFilter = L"全てのファイル (*.*)\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = CHOOSER_BUFFER_CHARS - 2;
    ofn.lpstrTitle = L"ファイルの選択";
    ofn.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return;

    // One file: its full path followed by two zeros. Several: the folder,
    // then each name, each ended by a zero. Looking at what follows the
    // first text also handles a single file without an extension.
    const wchar_t* first = buffer.data();
    size_t firstLength = wcslen(first);
    const wchar_t* name = first + firstLength + 1;
    if (*name == L'\0') {
        AddSource(first, true);
        return;
    }
    std::wstring folder = first;
    zk::AddTrailingSlash(folder);
    while (*name) {
        size_t length = wcslen(name);
        AddSource(folder + name, true);
        name += length + 1;
    }
}

void CFileListPage::DropSources(HDROP drop)
{
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    bool includeHidden = m_pWizard->Env().m_bIncludeHidden != 0;
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(length);
        path = NormaliseDroppedPath(path);
        if (!IsUpperDriveRoot(path)) {
            AddSource(path, true);
            continue;
        }
        WIN32_FIND_DATAW entry{};
        HANDLE find = FindFirstFileW((path + L"*.*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            if (!wcscmp(entry.cFileName, L".") || !wcscmp(entry.cFileName, L"..")) continue;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) && !includeHidden) continue;
            AddSource(path + entry.cFileName, true);
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    DragFinish(drop);
    RefreshFileListPage();
}

void CFileListPage::PasteSources()
{
    if (!IsClipboardFormatAvailable(CF_HDROP)) return;
    if (!OpenClipboard(Hwnd())) return;
    auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    if (drop) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            UINT length = DragQueryFileW(drop, i, nullptr, 0);
            if (length == 0) continue;
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), length + 1);
            path.resize(length);
            AddSource(path, true);
        }
    }
    CloseClipboard();
    RefreshFileListPage();
}

void CFileListPage::RemoveSelectedSources()
{
    HWND list = List();
    CSourceList& sources = m_pWizard->Prm().m_listSources;
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, -1, LVNI_SELECTED)) {
        LVITEMW query{};
        query.mask = LVIF_PARAM;
        query.iItem = row;
        ListView_GetItem(list, &query);
        auto* item = reinterpret_cast<CSourceItem*>(query.lParam);
        // The row goes first: it must never point at a destroyed item.
        ListView_DeleteItem(list, row);
        auto it =
            std::find_if(sources.begin(), sources.end(), [item](const auto& p) { return p.get() == item; });
        if (it != sources.end()) sources.erase(it);
    }
}

void CFileListPage::RemoveAllSources()
{
    if (HWND list = List()) ListView_DeleteAllItems(list);
    m_pWizard->Prm().m_listSources.clear();
}

void CFileListPage::ReAddAllSources()
{
    ListView_DeleteAllItems(List());
    CSourceList old;
    old.swap(m_pWizard->Prm().m_listSources);
    for (const auto& item : old) {
        std::wstring path = item->IsResolved() ? item->GetPath() : item->m_strStoredPath;
        if (!path.empty()) AddSource(path, true);
    }
    old.clear();
    RefreshFileListPage();
}

void CFileListPage::SelectAll()
{
    ListView_SetItemState(List(), -1, LVIS_SELECTED, LVIS_SELECTED);
}

void CFileListPage::RefreshFileListPage()
{
    HWND list = List();
    const CSourceList& sources = m_pWizard->Prm().m_listSources;
    bool anyUnresolved =
        std::any_of(sources.begin(), sources.end(), [](const auto& p) { return !p->IsResolved(); });
    EnableItem(IDC_REMOVE, ListView_GetSelectedCount(list) > 0);
    m_pWizard->SetMayAdvance(ListView_GetItemCount(list) > 0 && !anyUnresolved);
}

void CFileListPage::ShowContextMenu(POINT screenPoint)
{
    HWND list = List();
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    auto flags = [](bool enabled) { return MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED); };
    AppendMenuW(menu, flags(IsClipboardFormatAvailable(CF_HDROP) != 0), CMD_PASTE, L"貼り付け");
    AppendMenuW(menu, flags(true), CMD_ADD, L"追加");
    AppendMenuW(menu, flags(ListView_GetSelectedCount(list) > 0), CMD_REMOVE, L"削除");
    AppendMenuW(menu, flags(ListView_GetItemCount(list) > 0), CMD_REMOVE_ALL, L"全削除");
    int command = TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, screenPoint.x,
                                 screenPoint.y, 0, Hwnd(), nullptr);
    DestroyMenu(menu);
    switch (command) {
    case CMD_PASTE:
        PasteSources();
        break;
    case CMD_ADD:
        ChooseSources();
        RefreshFileListPage();
        break;
    case CMD_REMOVE:
        RemoveSelectedSources();
        RefreshFileListPage();
        break;
    case CMD_REMOVE_ALL:
        RemoveAllSources();
        RefreshFileListPage();
        break;
    default:
        break;
    }
}
