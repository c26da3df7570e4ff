#pragma once
// The program's own version resource, read once at start-up: the About box
// and the welcome page show the internal name, product version and legal
// notice; the extractor puts the product version in its title.

#include <windows.h>

#include <string>

namespace zk {

struct VersionInfo {
    std::wstring companyName;
    std::wstring legalCopyright;
    std::wstring productName;
    std::wstring productVersion;
    std::wstring originalFileName;
    std::wstring fileDescription;
    std::wstring fileVersionString; // the "FileVersion" string as written
    std::wstring internalName;
    std::wstring fileVersion;      // "%d.%d.%d.%d" of the fixed file version
    std::wstring fileVersionMajor; // high word of its most significant half
    std::wstring fileVersionMinor; // low word of its most significant half
    WORD language = 0;
    WORD codePage = 0;
};

// Reads the version resource of module's file (null: the program) into the
// process-wide record. False when the file has none (the record is cleared).
bool LoadVersionInfo(HMODULE module);

// The record of the last LoadVersionInfo and its most used strings.
const VersionInfo& ModuleVersionInfo();
const wchar_t* VersionInternalName();
const wchar_t* VersionProductVersion();
const wchar_t* VersionLegalCopyright();
const wchar_t* VersionFileVersion();

} // namespace zk
