#pragma once
// Icons of the folder tree and the contents list, all from the system's
// small-icon image list: a drive for the archive itself, a folder, the
// generic file icon, and for a file whose type has a program for "open"
// that program's icon (looked up once per extension).

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>

namespace zk {

class CFileIcons {
public:
    // Looks up the system list and the three fixed icons.
    void Load();
    HIMAGELIST List() const { return m_hList; }
    int Drive() const { return m_nDrive; }
    int Folder() const { return m_nFolder; }
    int GenericFile() const { return m_nFile; }
    // The icon for a file of this name.
    int ForFile(const std::wstring& name);

private:
    HIMAGELIST m_hList = nullptr;
    int m_nDrive = 0;
    int m_nFolder = 0;
    int m_nFile = 0;
    std::map<std::wstring, int> m_mapByExtension;
};

// The lower-case extension of a name with its dot ("" when there is none).
std::wstring IconExtension(const std::wstring& name);

} // namespace zk
