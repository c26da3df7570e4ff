#pragma once
// One file or folder the user chose to pack, and the desktop shell folder
// that turns paths into such items.

#include <windows.h>
#include <shobjidl.h>
#include <shtypes.h>

#include <list>
#include <memory>
#include <string>

// A chosen file or folder. Resolved when the shell knows it (it then carries
// its item ids and attributes); unresolved when the shell could not parse
// its path (gone, or not reachable), and then it keeps only that path.
class CSourceItem {
public:
    // A resolved item; takes ownership of `absolute`.
    CSourceItem(PIDLIST_ABSOLUTE absolute, ULONG shellAttributes, DWORD fileAttributes);
    // An unresolved item holding the path exactly as given.
    explicit CSourceItem(std::wstring storedPath);
    ~CSourceItem();

    CSourceItem(const CSourceItem&) = delete;
    CSourceItem& operator=(const CSourceItem&) = delete;

    bool IsResolved() const { return m_pidlAbsolute != nullptr; }

    // The path the item stands for: the file-system path the shell gives for
    // a resolved item ("" when it has none), the stored path otherwise.
    std::wstring GetPath() const;

    IShellFolder* m_pParentFolder = nullptr;   // one reference held; may be null
    PITEMID_CHILD m_pidlRelative = nullptr;    // owned; relative to m_pParentFolder
    PIDLIST_ABSOLUTE m_pidlAbsolute = nullptr; // owned; null when unresolved
    ULONG m_nShellAttributes = 0;              // SFGAO_* bits
    DWORD m_nFileAttributes = 0;               // FILE_ATTRIBUTE_* bits, 0 when unknown
    std::wstring m_strStoredPath;              // unresolved items only
};

// The chosen items in list order; the list owns them, so clearing it or
// erasing an element destroys the item.
using CSourceList = std::list<std::unique_ptr<CSourceItem>>;

// The desktop shell folder, kept for the whole run. m_hResult is the outcome
// of the last shell call; a failure at construction means no item can be
// made and the wizard cannot work.
class CShellDesktop {
public:
    // Shell attributes asked for every parsed path.
    static constexpr ULONG ATTRIBUTE_QUERY = 0xF64FC17F;
    // What a floppy drive path ("A:..." or "B:...") is given without asking
    // the drive, so that choosing it does not spin up an empty drive.
    static constexpr ULONG FLOPPY_ATTRIBUTES = 0xF2400114;

    CShellDesktop();
    ~CShellDesktop();
    CShellDesktop(const CShellDesktop&) = delete;
    CShellDesktop& operator=(const CShellDesktop&) = delete;

    bool Failed() const { return m_pDesktop == nullptr; }

    // A resolved item for `path`, or null when the shell cannot parse it.
    std::unique_ptr<CSourceItem> ParseItem(const std::wstring& path);
    // A resolved item, or else an unresolved one holding `path`.
    std::unique_ptr<CSourceItem> MakeItem(const std::wstring& path);

    IShellFolder* m_pDesktop = nullptr;
    HRESULT m_hResult = E_FAIL;
};
