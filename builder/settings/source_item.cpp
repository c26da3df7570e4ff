#include "builder/settings/source_item.h"

#include <shlobj.h>

#include <vector>

#include "core/file_io.h"
#include "core/long_path.h"

CSourceItem::CSourceItem(PIDLIST_ABSOLUTE absolute, ULONG shellAttributes, DWORD fileAttributes)
    : m_pidlAbsolute(absolute), m_nShellAttributes(shellAttributes), m_nFileAttributes(fileAttributes)
{
    PCUITEMID_CHILD last = nullptr;
    if (absolute && SUCCEEDED(SHBindToParent(absolute, IID_IShellFolder,
                                             reinterpret_cast<void**>(&m_pParentFolder), &last))) {
        m_pidlRelative = ILClone(last);
    }
}

CSourceItem::CSourceItem(std::wstring storedPath) : m_strStoredPath(std::move(storedPath)) {}

CSourceItem::~CSourceItem()
{
    if (m_pParentFolder) m_pParentFolder->Release();
    ILFree(m_pidlRelative);
    ILFree(m_pidlAbsolute);
}

std::wstring CSourceItem::GetPath() const
{
    if (!IsResolved()) return m_strStoredPath;
    std::vector<wchar_t> buf(zk::PATH_CHARS);
    if (!SHGetPathFromIDListEx(m_pidlAbsolute, buf.data(), static_cast<DWORD>(buf.size()), GPFIDL_DEFAULT))
        return {};
    return buf.data();
}

CShellDesktop::CShellDesktop()
{
    m_hResult = SHGetDesktopFolder(&m_pDesktop);
}

CShellDesktop::~CShellDesktop()
{
    if (m_pDesktop) m_pDesktop->Release();
}

std::unique_ptr<CSourceItem> CShellDesktop::ParseItem(const std::wstring& path)
{
    if (!m_pDesktop || path.empty()) return nullptr;
    const bool floppy = path.size() >= 2 && path[1] == L':' && (path[0] == L'A' || path[0] == L'B');
    std::vector<wchar_t> name(path.begin(), path.end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE pidl = nullptr;
    ULONG shellAttributes = ATTRIBUTE_QUERY;
    m_hResult = m_pDesktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &pidl,
                                             floppy ? nullptr : &shellAttributes);
    if (FAILED(m_hResult) || !pidl) {
        ILFree(pidl);
        return nullptr;
    }
    DWORD fileAttributes = 0;
    if (floppy) {
        shellAttributes = FLOPPY_ATTRIBUTES;
    } else {
        fileAttributes = zk::GetFileAttrs(path.c_str());
        if (fileAttributes == INVALID_FILE_ATTRIBUTES) fileAttributes = 0;
        if (fileAttributes & FILE_ATTRIBUTE_ENCRYPTED) shellAttributes |= SFGAO_ENCRYPTED;
    }
    return std::make_unique<CSourceItem>(static_cast<PIDLIST_ABSOLUTE>(pidl), shellAttributes,
                                         fileAttributes);
}

std::unique_ptr<CSourceItem> CShellDesktop::MakeItem(const std::wstring& path)
{
    if (auto item = ParseItem(path)) return item;
    return std::make_unique<CSourceItem>(path);
}
